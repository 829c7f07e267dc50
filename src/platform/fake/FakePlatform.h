#pragma once
// In-memory platform for the native unit tests: a registry with both views, a shell that records
// what it is asked to start, scripted system answers, and a user interface that records dialogs
// and runs "threads" inline while keeping track of which one is current.

#include <deque>
#include <functional>
#include <map>
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
  std::wstring Environment(const std::wstring& name) override;
  std::wstring UserName() override { return userName; }
  std::wstring NewGuidText() override;
  std::optional<FileVersion> FileVersionOf(const std::wstring& path) override;
  std::wstring CommandLine() override { return commandLine; }
  uint32_t TickCount() override { return ticks; }
  void Sleep(uint32_t ms) override {
    sleeps.push_back(ms);
    ticks += ms;
  }
  int guidsMade = 0;
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
  // Labels of what happened, in order ("box", "dialog", "main:", "terminate"...), for sequence
  // checks.
  std::vector<std::wstring> log;

  int MessageBox(const std::wstring& text, const std::wstring& caption, uint32_t flags) override;
  int ShowMessageDialog(const MessageDialogSpec& content) override;
  void ProcessMessages() override { ++processMessagesCalls; }
  void Terminate() override;
  bool IsMainThread() override { return onMain_; }
  // Runs inline, marking the main thread as current meanwhile.
  void RunOnMainThread(const std::function<void()>& routine) override;
  // Runs the body inline as another thread.
  void StartThread(std::function<void()> body) override;

 private:
  bool onMain_ = true;
};

// Installs a complete fake platform for the lifetime of the object.
struct FakePlatform {
  FakeRegistry registry;
  FakeFileSystem files;
  FakeShell shell;
  FakeSystem system;
  FakeUserInterface ui;
  FakePlatform();
  ~FakePlatform();

 private:
  PlatformServices previous_;
};

}  // namespace zl::fake
