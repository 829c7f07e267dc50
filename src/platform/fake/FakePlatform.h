#pragma once
// In-memory platform for the native unit tests: a registry with both views, a shell that records
// what it is asked to start, scripted system answers, and a user interface that records dialogs
// and runs "threads" inline while keeping track of which one is current.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/fake/FakeFileSystem.h"

namespace zl::fake {

class FakeRegistry : public IRegistry {
 public:
  // A 64-bit Windows keeps separate 32- and 64-bit views of HKLM\SOFTWARE; the default view of
  // a 32-bit program is the 32-bit one.
  bool wow64 = true;

  bool KeyExists(RegRoot root, const std::wstring& key, RegView view) override;
  RegValue ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                     RegView view) override;
  bool CreateKey(RegRoot root, const std::wstring& key, RegView view) override;
  bool WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                   const std::wstring& value, RegView view) override;
  bool WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name, uint32_t value,
                  RegView view) override;
  bool DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                   RegView view) override;
  std::vector<std::wstring> SubKeys(RegRoot root, const std::wstring& key, RegView view) override;
  bool DeleteKey(RegRoot root, const std::wstring& key, RegView view) override;

  // Test set-up and inspection.
  void Set(RegRoot root, const std::wstring& key, const std::wstring& name, RegValue value,
           RegView view = RegView::Default);
  void SetString(RegRoot root, const std::wstring& key, const std::wstring& name,
                 const std::wstring& value, RegView view = RegView::Default);
  void SetDword(RegRoot root, const std::wstring& key, const std::wstring& name, uint32_t value,
                RegView view = RegView::Default);
  RegValue Get(RegRoot root, const std::wstring& key, const std::wstring& name,
               RegView view = RegView::Default);
  bool HasKey(RegRoot root, const std::wstring& key, RegView view = RegView::Default);
  // Keys that cannot be opened for writing (created, written) or reading.
  void DenyWrite(RegRoot root, const std::wstring& key, RegView view = RegView::Default);
  void DenyRead(RegRoot root, const std::wstring& key, RegView view = RegView::Default);
  // Every key path below root and view, for "nothing else was written" checks.
  std::vector<std::wstring> AllKeys(RegRoot root, RegView view = RegView::Default);
  int writes = 0;
  // Value writes fail although the key opens (a full registry, a policy).
  bool failValueWrites = false;

 private:
  struct Key {
    std::wstring path;                                                 // as first created
    std::map<std::wstring, std::pair<std::wstring, RegValue>> values;  // by lower-case name
    long order = 0;
  };
  std::wstring Id(RegRoot root, const std::wstring& key, RegView view) const;
  Key* Find(RegRoot root, const std::wstring& key, RegView view);
  Key& Make(RegRoot root, const std::wstring& key, RegView view);
  std::map<std::wstring, Key> keys_;
  std::map<std::wstring, bool> denyWrite_, denyRead_;
  long counter_ = 0;
  std::recursive_mutex mutex_;
};

class FakeProcess : public IProcess {
 public:
  explicit FakeProcess(int waitsBeforeEnd) : remaining_(waitsBeforeEnd) {}
  bool Wait(uint32_t) override { return remaining_-- <= 0; }

 private:
  int remaining_;
};

class FakeShell : public IShell {
 public:
  struct Call {
    std::wstring verb, file, parameters, directory;
    int show = 0;
  };
  // Decides each ShellExecuteEx; by default the start fails as for a missing file.
  std::function<ShellStart(const ShellExecuteRequest&)> onExecuteEx;
  std::vector<ShellExecuteRequest> executed;
  std::vector<Call> opened;  // ShellExecute calls

  ShellStart ShellExecuteEx(const ShellExecuteRequest& request) override;
  void ShellExecute(const std::wstring& verb, const std::wstring& file,
                    const std::wstring& parameters, const std::wstring& directory,
                    int show) override;
};

class FakeSystem : public ISystem {
 public:
  OsVersion version{true, 6, 1, 2};
  Wow64State wow64 = Wow64State::Yes;
  std::optional<int64_t> freeBytes = int64_t(10) * 1024 * 1024 * 1024;
  std::optional<uint64_t> totalMemory = uint64_t(8) * 1024 * 1024 * 1024;
  int screenWidth = 1920, screenHeight = 1080;
  std::wstring systemDirectory = L"C:\\Windows\\system32";
  std::wstring windowsDirectory = L"C:\\Windows";
  std::wstring systemWindowsDirectory = L"C:\\Windows";
  std::map<std::wstring, std::wstring> environment;
  std::wstring userName = L"tester";
  std::wstring commandLine = L"ZelkoraLauncher.exe";
  std::map<std::wstring, FileVersion> fileVersions;
  bool guidFails = false;
  uint32_t ticks = 1000;
  std::vector<uint32_t> sleeps;

  OsVersion Version() override { return version; }
  Wow64State IsWow64() override { return wow64; }
  std::optional<int64_t> FreeBytesAvailable(const std::wstring&) override { return freeBytes; }
  std::optional<uint64_t> TotalPhysicalMemory() override { return totalMemory; }
  int ScreenWidth() override { return screenWidth; }
  int ScreenHeight() override { return screenHeight; }
  std::wstring SystemDirectory() override { return systemDirectory; }
  std::wstring WindowsDirectory() override { return windowsDirectory; }
  std::wstring SystemWindowsDirectory() override { return systemWindowsDirectory; }
  std::wstring Environment(const std::wstring& name) override;
  // %NAME% from environment; unknown names stay as written.
  std::wstring ExpandEnvironment(const std::wstring& text) override;
  void DebugOutput(const std::wstring& text) override { debugOutput.push_back(text); }
  std::wstring UserName() override { return userName; }
  std::wstring NewGuidText() override;
  // Bytes of nextRandom, lowest first, which then grows by one per call; nothing when
  // randomFails.
  bool RandomBytes(void* buffer, size_t n) override;
  uint64_t nextRandom = 0x0123456789ABCDEFull;
  bool randomFails = false;
  int randomCalls = 0;
  std::optional<FileVersion> FileVersionOf(const std::wstring& path) override;
  std::wstring CommandLine() override { return commandLine; }
  uint32_t TickCount() override { return ticks; }
  void Sleep(uint32_t ms) override {
    sleeps.push_back(ms);
    ticks += ms;
    if (onSleep) onSleep(ms);
  }
  // Latin-1 stands in for the ANSI code page; other characters become '?'.
  std::optional<std::string> AnsiText(const std::wstring& text) override;
  // Called after each Sleep (a test can make something appear meanwhile).
  std::function<void(uint32_t)> onSleep;
  int guidsMade = 0;
  std::vector<std::wstring> debugOutput;
};

class FakeNetwork : public INetwork {
 public:
  struct Probe {
    std::wstring host;
    uint16_t port;
    uint32_t timeoutMs;
  };
  // host:port pairs that accept a connection ("srv02:2881").
  std::vector<std::wstring> accepting;
  std::vector<Probe> probes;
  std::vector<std::pair<uint16_t, std::string>> broadcasts;  // every datagram sent
  std::vector<uint32_t> destinations;                        // where each went
  std::vector<NetworkAdapter> adapters;
  std::set<uint32_t> unreachable;  // destinations whose send fails
  // Datagrams that arrive after a broadcast, in order; each read takes one.
  std::deque<std::string> replies;
  size_t lastMaxBytes = 0;
  std::vector<uint32_t> receiveTimeouts;
  // Every send fails (a socket layer without network) / reads throw.
  bool sendFails = false;
  bool receiveFails = false;
  std::map<std::wstring, std::wstring> hostNames;  // address -> official name
  std::map<std::wstring, std::wstring> addresses;  // name -> dotted address
  std::vector<std::wstring> lookups;               // "addr:x" and "name:x", in order
  // When set, a read that finds nothing lets the clock run for the whole wait.
  FakeSystem* clock = nullptr;

  bool ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) override;
  std::vector<std::wstring> SendBroadcasts(uint16_t port, const std::string& payload,
                                           const std::vector<uint32_t>& destinations) override;
  std::vector<NetworkAdapter> Adapters() override { return adapters; }
  std::optional<std::string> ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) override;
  std::optional<std::wstring> HostNameOf(const std::wstring& address) override;
  std::optional<std::wstring> AddressOf(const std::wstring& name) override;
};

class FakeHttp : public IHttp {
 public:
  struct Reply {
    int status = 200;
    std::string body;
    std::optional<int64_t> contentLength;  // defaults to the body's size when announceLength
    bool announceLength = true;
    size_t chunk = 4096;                         // bytes per work report
    std::optional<std::wstring> failBeforeData;  // throws before any byte
    std::optional<std::wstring> failAfterBytes;  // throws after the first chunk
    bool reportWorkEnd = true;
    uint32_t msPerChunk = 0;  // how far clock runs while each chunk arrives
  };
  FakeSystem* clock = nullptr;            // set by FakePlatform
  std::map<std::wstring, Reply> replies;  // by URL; a URL without a reply: refused connection
  std::vector<std::wstring> requested;

  HttpResponse Get(const std::wstring& url, IWriteStream& target,
                   const HttpCallbacks& callbacks) override;
};

class FakeInstallerWindow : public IInstallerWindow {
 public:
  std::vector<std::wstring> statusTexts;
  std::vector<double> progress;
  bool hidden = false;
  bool closed = false;
  void SetStatusText(const std::wstring& text) override { statusTexts.push_back(text); }
  void SetProgress(double percent) override { progress.push_back(percent); }
  void Hide() override { hidden = true; }
  void Close() override { closed = true; }
};

class FakeUserInterface : public IUserInterface {
 public:
  struct Box {
    std::wstring text, caption;
    uint32_t flags = 0;
    bool onMainThread = false;
  };
  struct Dialog {
    MessageDialogSpec content;
    bool onMainThread = false;
  };
  std::vector<Box> boxes;
  std::vector<Dialog> dialogs;
  // Answers for the message dialogs in order; when empty, the default button answers.
  std::deque<int> answers;
  // Called for every dialog before it is answered (a test can look at the state then).
  std::function<void(const MessageDialogSpec&)> onDialog;
  int processMessagesCalls = 0;
  int terminateOnMain = 0;
  int terminateOffMain = 0;
  int threadsStarted = 0;
  std::vector<std::wstring> threadNames;  // in the order started
  // Labels of what happened, in order ("box", "dialog", "main:", "terminate"...), for sequence
  // checks.
  std::vector<std::wstring> log;

  // The information window: answers in order (true = Next); when empty, the close box.
  std::deque<bool> formAnswers;
  std::vector<LocateProgramFormContent> forms;
  std::function<void(const LocateProgramFormContent&)> onForm;
  // The file dialog: answers in order; when empty, Cancel.
  std::deque<std::optional<std::wstring>> fileAnswers;
  std::vector<OpenFileDialogRequest> fileDialogs;
  bool formOnMainThread = true;  // false once a window was shown off the main thread
  // Installer windows shown, in order; each is activated `installerActivations` times (or until
  // closed).
  std::vector<std::shared_ptr<FakeInstallerWindow>> installerWindows;
  int installerActivations = 1;

  int MessageBox(const std::wstring& text, const std::wstring& caption, uint32_t flags) override;
  int ShowMessageDialog(const MessageDialogSpec& content) override;
  void ProcessMessages() override { ++processMessagesCalls; }
  void Terminate() override;
  bool IsMainThread() override { return onMain_; }
  // Runs inline, marking the main thread as current meanwhile.
  void RunOnMainThread(const std::function<void()>& routine) override;
  // Runs the body inline as another thread.
  void StartThread(std::function<void()> body, const std::wstring& name) override;
  using IUserInterface::StartThread;
  bool ShowLocateProgramForm(const LocateProgramFormContent& content) override;
  std::optional<std::wstring> ShowOpenFileDialog(const OpenFileDialogRequest& request) override;
  void ShowInstallerWindow(const std::function<void(IInstallerWindow&)>& onActivate) override;

 private:
  bool onMain_ = true;
};

// A complete fake platform; a test builds its run from Services().
struct FakePlatform {
  FakeRegistry registry;
  FakeFileSystem files;
  FakeShell shell;
  FakeSystem system;
  FakeUserInterface ui;
  FakeNetwork network;
  FakeHttp http;
  FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  PlatformServices Services() {
    return PlatformServices{&registry, &files, &shell, &system, &ui, &network, &http};
  }
};

}  // namespace zl::fake
