#pragma once
// The doctor's dry run: the platform it checks a workstation on. Reads go to the real adapter,
// every change is recorded instead of being made, and reported as done, so the logic goes on as
// it would after a successful write. A value written as it already is, is no change. Nothing is
// started: every shell request is recorded. The network is the real one (the doctor does probe
// and broadcast) and notes where each discovery datagram went. Every question the launcher
// would put is noted and answered the way that asks no more. DryRun puts it all together.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace zl {

enum class ChangeKind {
  CreateKey,     // target: the key
  WriteString,   // target: the key; name, value
  WriteDword,    // target: the key; name, value (decimal)
  DeleteValue,   // target: the key; name
  DeleteKey,     // target: the key
  CreateFile,    // target: the file (made empty)
  DeleteFile,    // target: the file
  RemoveFolder,  // target: the folder
  CopyFile,      // target: the source; value: the copy
  CreateFolder,  // target: the folder
  WriteFile,     // target: the file (written whole)
  AppendToFile,  // target: the file
  Start,         // target: the program; value: its parameters
};

// One change the dry run did not make. Registry keys are written as RegistryPath gives them.
struct Change {
  ChangeKind kind;
  std::wstring target;
  std::wstring name;
  std::wstring value;

  // One line for the admin: "write HKCU\...\Key \"Name\" = \"value\"", "create file ...".
  std::wstring Text() const;
  bool operator==(const Change& o) const {
    return kind == o.kind && target == o.target && name == o.name && value == o.value;
  }
};

// What the dry-run adapters would have changed, in order.
class ChangeLog {
 public:
  void Add(Change change) { changes_.push_back(std::move(change)); }
  const std::vector<Change>& Changes() const { return changes_; }
  // Each change's Text(), in order.
  std::vector<std::wstring> Lines() const;

 private:
  std::vector<Change> changes_;
};

// "HKCU\key" (with " (64-bit view)" or " (32-bit view)" where a view is asked for).
std::wstring RegistryPath(RegRoot root, const std::wstring& key, RegView view);

class DryRunRegistry : public IRegistry {
 public:
  DryRunRegistry(IRegistry& inner, ChangeLog& log) : inner_(inner), log_(log) {}
  bool KeyExists(RegRoot root, const std::wstring& key, RegView view) override {
    return inner_.KeyExists(root, key, view);
  }
  RegValue ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                     RegView view) override {
    return inner_.ReadValue(root, key, name, view);
  }
  std::vector<std::wstring> SubKeys(RegRoot root, const std::wstring& key, RegView view) override {
    return inner_.SubKeys(root, key, view);
  }
  bool CreateKey(RegRoot root, const std::wstring& key, RegView view) override;
  bool WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                   const std::wstring& value, RegView view) override;
  bool WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name, uint32_t value,
                  RegView view) override;
  bool DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                   RegView view) override;
  bool DeleteKey(RegRoot root, const std::wstring& key, RegView view) override;

 private:
  IRegistry& inner_;
  ChangeLog& log_;
};

class DryRunFileSystem : public IFileSystem {
 public:
  DryRunFileSystem(IFileSystem& inner, ChangeLog& log) : inner_(inner), log_(log) {}
  FileAttributes GetAttributes(const std::wstring& path) override {
    return inner_.GetAttributes(path);
  }
  std::unique_ptr<IReadStream> OpenRead(const std::wstring& path) override {
    return inner_.OpenRead(path);
  }
  bool ListDirectory(const std::wstring& dir,
                     const std::function<bool(const DirEntry&)>& visit) override {
    return inner_.ListDirectory(dir, visit);
  }
  std::optional<std::wstring> Sha256(const std::wstring& path) override {
    return inner_.Sha256(path);
  }
  // Holding changes nothing. A file this dry run wrote is held with the bytes written.
  std::unique_ptr<IHeldFile> HoldForRun(const std::wstring& path) override;
  std::wstring TempPath() override { return inner_.TempPath(); }
  bool CreateEmptyFile(const std::wstring& path) override;
  bool DeleteFile(const std::wstring& path) override;
  bool RemoveDirectory(const std::wstring& path) override;
  bool CopyFile(const std::wstring& from, const std::wstring& to, bool failIfExists) override;
  bool CreateDirectory(const std::wstring& path) override;
  bool CreateNewDirectory(const std::wstring& path) override;
  std::unique_ptr<IWriteStream> CreateWrite(const std::wstring& path) override;
  bool AppendToFile(const std::wstring& path, const std::string& bytes) override;
  // A name in dir that is not created: the real call would make the file.
  std::wstring TempFileName(const std::wstring& dir, const std::wstring& prefix) override;

 private:
  IFileSystem& inner_;
  ChangeLog& log_;
  unsigned next_name_ = 0;
  std::map<std::wstring, std::string> kept_;  // what was written, by lower-case path
};

class DryRunShell : public IShell {
 public:
  explicit DryRunShell(ChangeLog& log) : log_(log) {}
  // Recorded, except folder probes; answered as a start that failed, as for a file that is
  // not there.
  ShellStart ShellExecuteEx(const ShellExecuteRequest& request) override;
  void ShellExecute(const std::wstring& verb, const std::wstring& file,
                    const std::wstring& parameters, const std::wstring& directory,
                    int show) override;

 private:
  ChangeLog& log_;
};

// One discovery datagram's destination, as the network reported it.
struct DiscoverySend {
  uint32_t destination = 0;  // IPv4, host byte order
  uint16_t port = 0;
  std::wstring error;  // empty: sent
};

// The real network, passing everything through; keeps where each discovery datagram went.
class SendNotingNetwork : public INetwork {
 public:
  explicit SendNotingNetwork(INetwork& inner) : inner_(inner) {}
  // Since the last TakeSends, in order.
  std::vector<DiscoverySend> TakeSends();

  bool ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) override {
    return inner_.ProbeTcp(host, port, timeoutMs);
  }
  std::vector<std::wstring> SendBroadcasts(uint16_t port, const std::string& payload,
                                           const std::vector<uint32_t>& destinations) override;
  std::vector<NetworkAdapter> Adapters() override { return inner_.Adapters(); }
  std::optional<std::string> ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) override {
    return inner_.ReceiveDatagram(timeoutMs, maxBytes);
  }
  std::optional<std::wstring> HostNameOf(const std::wstring& address) override {
    return inner_.HostNameOf(address);
  }
  std::optional<std::wstring> AddressOf(const std::wstring& name) override {
    return inner_.AddressOf(name);
  }

 private:
  INetwork& inner_;
  std::vector<DiscoverySend> sends_;
};

// Nobody is there to answer: every question is noted with its text and gets the answer that asks
// no more (OK, the close box, no file); windows that only show progress show nothing.
class DryRunUserInterface : public IUserInterface {
 public:
  // Since the last TakeQuestions, in order.
  std::vector<std::wstring> TakeQuestions() { return std::exchange(asked_, {}); }

  int MessageBox(const std::wstring& text, const std::wstring& caption, uint32_t flags) override;
  int ShowMessageDialog(const MessageDialogSpec& content) override;
  void ProcessMessages() override {}
  void Terminate() override {}
  bool IsMainThread() override { return true; }
  void RunOnMainThread(const std::function<void()>& routine) override { routine(); }
  void StartThread(std::function<void()> body, const std::wstring&) override { body(); }
  using IUserInterface::StartThread;
  bool ShowLocateProgramForm(const LocateProgramFormContent& content) override;
  std::optional<std::wstring> ShowOpenFileDialog(const OpenFileDialogRequest& request) override;
  void ShowInstallerWindow(const std::function<void(IInstallerWindow&)>&) override {}

 private:
  std::vector<std::wstring> asked_;
};

// The whole dry run over the real ports: registry, files and shell record, the network notes its
// sends, the user interface notes its questions; the system and HTTP are the real ones.
class DryRun {
 public:
  explicit DryRun(const PlatformServices& real);
  DryRun(const DryRun&) = delete;
  DryRun& operator=(const DryRun&) = delete;

  // The ports a run of the steps takes.
  const PlatformServices& Services() const { return services_; }

  ChangeLog log;
  DryRunRegistry registry;
  DryRunFileSystem files;
  DryRunShell shell;
  SendNotingNetwork network;
  DryRunUserInterface ui;

 private:
  PlatformServices services_;
};

}  // namespace zl
