#pragma once
// The small interfaces the launcher's logic calls instead of Win32. The program installs the
// Win32 implementations once at start (platform/win32); the native unit tests install the
// in-memory fakes (platform/fake). The logic never includes windows.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/NoWin32NameMacros.h"

namespace zl {

// The one exception type of the logic. It carries the exact message a user or admin reads.
class LauncherError : public std::exception {
 public:
  explicit LauncherError(std::wstring message);
  const std::wstring& Message() const { return message_; }
  const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  std::wstring message_;
  std::string narrow_;
};

// ---------------------------------------------------------------- registry
enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine };
// Default is what a 32-bit process sees (Wow6432Node for HKLM\Software on 64-bit Windows).
enum class RegView { Default, Reg32, Reg64 };
enum class RegKind { Missing, Unreadable, String, ExpandString, Dword, MultiString, Other };

struct RegValue {
  RegKind kind = RegKind::Missing;
  std::wstring text;   // String and ExpandString: unexpanded, terminated by the adapter
  uint32_t dword = 0;  // Dword
  std::vector<std::wstring> strings;  // MultiString: its strings, empty ones left out

  RegValue() = default;
  RegValue(RegKind k, std::wstring t, uint32_t d, std::vector<std::wstring> list = {})
      : kind(k), text(std::move(t)), dword(d), strings(std::move(list)) {}
};

// Key paths are relative to the root, without leading or trailing backslash.
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // The key exists and opens with read access.
  virtual bool KeyExists(RegRoot root, const std::wstring& key, RegView view) = 0;
  // A missing key reads as a missing value. Never throws.
  virtual RegValue ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                             RegView view) = 0;
  // Opens the key with write access, creating it (and its parents) when missing.
  virtual bool CreateKey(RegRoot root, const std::wstring& key, RegView view) = 0;
  // Write into an existing key (false when the key cannot be opened for writing or the write
  // fails).
  virtual bool WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                           const std::wstring& value, RegView view) = 0;
  virtual bool WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name,
                          uint32_t value, RegView view) = 0;
  // True when the value is gone afterwards, also when it was not there.
  virtual bool DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                           RegView view) = 0;
  // Direct subkeys in the order the registry enumerates them.
  virtual std::vector<std::wstring> SubKeys(RegRoot root, const std::wstring& key,
                                            RegView view) = 0;
  // Deletes one key that has no subkeys.
  virtual bool DeleteKey(RegRoot root, const std::wstring& key, RegView view) = 0;
};

// ---------------------------------------------------------------- files
struct FileAttributes {
  bool exists = false;
  bool directory = false;
  bool reparsePoint = false;  // junctions and symbolic links
};

struct DirEntry {
  std::wstring name;
  FileAttributes attributes;
};

class IReadStream {
 public:
  virtual ~IReadStream() = default;
  virtual uint64_t Size() = 0;
  // Reads exactly n bytes at offset or throws LauncherError.
  virtual void ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
};

class IWriteStream {
 public:
  virtual ~IWriteStream() = default;
  // Both throw LauncherError on failure.
  virtual void Write(const void* data, size_t n) = 0;
  virtual void Close() = 0;
};

// A file held open to be run: others may go on reading it, but none may write, rename or delete
// it while this lives, so what was hashed through it is what the program that runs it reads.
class IHeldFile {
 public:
  virtual ~IHeldFile() = default;
  // The whole file's SHA-256 as 64 lower-case hexadecimal digits, read through this handle;
  // nullopt when it cannot be read.
  virtual std::optional<std::wstring> Sha256() = 0;
  // The whole file's bytes, read through this handle; nullopt when it cannot be read.
  virtual std::optional<std::string> Contents() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // GetFileAttributesW: links are followed; a path that cannot be examined does not exist.
  virtual FileAttributes GetAttributes(const std::wstring& path) = 0;
  // CreateFileW(GENERIC_READ|GENERIC_WRITE, no sharing, CREATE_ALWAYS), closed at once.
  virtual bool CreateEmptyFile(const std::wstring& path) = 0;
  virtual bool DeleteFile(const std::wstring& path) = 0;
  // RemoveDirectoryW: an empty folder only.
  virtual bool RemoveDirectory(const std::wstring& path) = 0;
  virtual bool CopyFile(const std::wstring& from, const std::wstring& to, bool failIfExists) = 0;
  // One level; true when the folder exists afterwards.
  virtual bool CreateDirectory(const std::wstring& path) = 0;
  // One level; true only when this call made the folder: anything of that name already there
  // (a folder, a file, a link) is a failure.
  virtual bool CreateNewDirectory(const std::wstring& path) = 0;
  // Both throw LauncherError with the system's message.
  virtual std::unique_ptr<IReadStream> OpenRead(const std::wstring& path) = 0;
  virtual std::unique_ptr<IWriteStream> CreateWrite(const std::wstring& path) = 0;
  // FindFirstFileW/FindNextFileW over dir\*, without "." and "..". Calls visit for each entry in
  // the order listed; visit returns false to stop. Returns false when the folder cannot be listed
  // or its listing ends with an error other than "no more files".
  virtual bool ListDirectory(const std::wstring& dir,
                             const std::function<bool(const DirEntry&)>& visit) = 0;
  // The file's SHA-256 as 64 lower-case hexadecimal digits; nullopt when it cannot be read.
  virtual std::optional<std::wstring> Sha256(const std::wstring& path) = 0;
  // CreateFileW(GENERIC_READ, FILE_SHARE_READ only, OPEN_EXISTING), kept open by the result;
  // nullptr when it cannot be opened so (missing, or open elsewhere for writing or deleting).
  virtual std::unique_ptr<IHeldFile> HoldForRun(const std::wstring& path) = 0;
  // Appends the bytes at the end of the file, creating it when missing; other writers may
  // append at the same time. False when it cannot be done.
  virtual bool AppendToFile(const std::wstring& path, const std::string& bytes) = 0;
  // GetTempPathW, with its trailing backslash.
  virtual std::wstring TempPath() = 0;
  // GetTempFileNameW(dir, prefix, 0): creates the empty file; throws LauncherError on failure.
  virtual std::wstring TempFileName(const std::wstring& dir, const std::wstring& prefix) = 0;
};

// ---------------------------------------------------------------- shell and processes
namespace see {
// SHELLEXECUTEINFOW.fMask bits, with their Win32 values.
constexpr uint32_t NoCloseProcess = 0x00000040;
constexpr uint32_t FlagNoUi = 0x00000400;
constexpr uint32_t NoZoneChecks = 0x00800000;
}  // namespace see

constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;

struct ShellExecuteRequest {
  uint32_t mask = 0;
  std::optional<std::wstring> verb;  // nullopt: the file's default action
  std::wstring file;
  std::wstring parameters;
  std::optional<std::wstring> directory;  // nullopt: none given
  int show = kSwHide;
};

class IProcess {
 public:
  virtual ~IProcess() = default;
  // WaitForSingleObject: true when the process has ended within ms (or the wait failed).
  virtual bool Wait(uint32_t ms) = 0;
};

struct ShellStart {
  bool ok = false;
  std::unique_ptr<IProcess> process;  // may be empty even when ok (no handle given)
};

class IShell {
 public:
  virtual ~IShell() = default;
  virtual ShellStart ShellExecuteEx(const ShellExecuteRequest& request) = 0;
  // ShellExecuteW with no owner window; the result is not examined by any caller.
  virtual void ShellExecute(const std::wstring& verb, const std::wstring& file,
                            const std::wstring& parameters, const std::wstring& directory,
                            int show) = 0;
};

// ---------------------------------------------------------------- system queries
struct OsVersion {
  bool ok = false;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t platformId = 0;  // 2: VER_PLATFORM_WIN32_NT
};

enum class Wow64State { NoFunction, Failed, No, Yes };

struct FileVersion {
  uint16_t a = 0, b = 0, c = 0, d = 0;
};

class ISystem {
 public:
  virtual ~ISystem() = default;
  virtual OsVersion Version() = 0;
  virtual Wow64State IsWow64() = 0;
  // GetDiskFreeSpaceExW: bytes available to the caller; nullopt when the query fails.
  virtual std::optional<int64_t> FreeBytesAvailable(const std::wstring& dir) = 0;
  // GlobalMemoryStatusEx looked up at run time; nullopt when missing or failing.
  virtual std::optional<uint64_t> TotalPhysicalMemory() = 0;
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
  virtual std::wstring SystemDirectory() = 0;
  virtual std::wstring WindowsDirectory() = 0;
  // GetSystemWindowsDirectoryW: the shared Windows folder, also on a terminal server (where
  // WindowsDirectory is the user's own).
  virtual std::wstring SystemWindowsDirectory() = 0;
  virtual std::wstring Environment(const std::wstring& name) = 0;  // empty when unset
  // ExpandEnvironmentStringsW: %NAME% replaced by the variable's value; unknown names stay.
  virtual std::wstring ExpandEnvironment(const std::wstring& text) = 0;
  // OutputDebugStringW: for a debugger or a debug-output viewer.
  virtual void DebugOutput(const std::wstring& text) = 0;
  virtual std::wstring UserName() = 0;  // empty when unknown
  // CoCreateGuid; throws LauncherError when no GUID can be made.
  virtual std::wstring NewGuidText() = 0;
  // Fills buffer with n bytes from the system's random generator (RtlGenRandom, looked up at run
  // time); false when there is none or it fails.
  virtual bool RandomBytes(void* buffer, size_t n) = 0;
  virtual std::optional<FileVersion> FileVersionOf(const std::wstring& path) = 0;
  // The raw command line of the process (GetCommandLineW).
  virtual std::wstring CommandLine() = 0;
  virtual uint32_t TickCount() = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // The text in the system's ANSI code page (WideCharToMultiByte CP_ACP), character for
  // character; nullopt when the code page lacks one of them. No best-fit look-alikes: a
  // full-width quote must not turn into a real one.
  virtual std::optional<std::string> AnsiText(const std::wstring& text) = 0;
};

// ---------------------------------------------------------------- HTTP
struct HttpResponse {
  int status = 0;                        // HTTP status code
  std::optional<int64_t> contentLength;  // as announced; nullopt when the server sent none
  int64_t received = 0;                  // body bytes written to the target
};

// Progress of a download as the client reports it, on the downloading thread.
struct HttpCallbacks {
  std::function<void(int64_t announced)> workBegin;  // announced size; 0 or less means unknown
  std::function<void(int64_t received)> work;        // bytes received so far
  std::function<void()> workEnd;                     // the body has been received
};

class IHttp {
 public:
  virtual ~IHttp() = default;
  // One GET of url (http or https) with the workstation's Internet settings, proxy included,
  // following no cache; the body goes into target as it arrives. Whatever the status, the body
  // is written and the response returned: the caller decides what counts as success. Transport
  // failures (no such host, refused, broken transfer) throw LauncherError with the reason.
  virtual HttpResponse Get(const std::wstring& url, IWriteStream& target,
                           const HttpCallbacks& callbacks) = 0;
};

// ---------------------------------------------------------------- network
// IPv4 only. Texts cross into Winsock as 8-bit text in the system's ANSI code page.
// One IPv4 address of an adapter, host byte order.
struct Ipv4Address {
  uint32_t address = 0;
  int prefixLength = 0;  // the network mask's length in bits
};

struct NetworkAdapter {
  bool up = false;  // operational status up
  bool loopback = false;
  std::vector<Ipv4Address> addresses;
};

class INetwork {
 public:
  virtual ~INetwork() = default;
  // Resolves host (a name or a dotted address; the lookup itself is not bounded) and opens a TCP
  // connection within timeoutMs, then closes it without sending anything. False on any failure.
  virtual bool ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) = 0;
  // The discovery endpoint: its UDP socket is opened on first use (any local address, a port the
  // system chooses) and stays open until the program ends. Sends payload to each destination
  // (IPv4, host byte order) at port, in order, with SO_BROADCAST switched on only around all the
  // sends. One text per destination: empty when it was sent, else the error. Throws
  // LauncherError only when SO_BROADCAST cannot be switched.
  virtual std::vector<std::wstring> SendBroadcasts(uint16_t port, const std::string& payload,
                                                   const std::vector<uint32_t>& destinations) = 0;
  // The adapters with their IPv4 addresses, in the system's order (GetAdaptersAddresses); empty
  // when they cannot be read.
  virtual std::vector<NetworkAdapter> Adapters() = 0;
  // Waits up to timeoutMs for one datagram on the discovery socket, from any sender; at most
  // maxBytes of it. nullopt when none arrived in time. Socket errors throw LauncherError.
  virtual std::optional<std::string> ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) = 0;
  // Winsock 1.1 lookups (WSAStartup 0x0101 and WSACleanup around each). Never throw.
  // gethostbyaddr of inet_addr(address): the entry's official name.
  virtual std::optional<std::wstring> HostNameOf(const std::wstring& address) = 0;
  // gethostbyname(name): the first address of the list as "%d.%d.%d.%d".
  virtual std::optional<std::wstring> AddressOf(const std::wstring& name) = 0;
};

// ---------------------------------------------------------------- user interface and threads
enum class DialogIcon { None, Warning, Error, Information, Question };

struct DialogButton {
  std::wstring caption;  // with its '&' mnemonic
  int result = 0;
};

// A fully decided message dialog; the adapter only draws it.
struct MessageDialogSpec {
  std::wstring title;
  std::wstring text;
  DialogIcon icon = DialogIcon::None;
  // The task dialog shows an information icon where the classic dialog shows a question mark.
  DialogIcon taskDialogIcon = DialogIcon::None;
  std::vector<DialogButton> buttons;  // left to right
  int defaultResult = 0;              // the button Enter presses
  int closeResult = 2;                // what Escape or the close box answers
  bool lowerTopmost = false;          // lower the program's top-most windows while it shows
};

// The information window shown before the user picks the application's executable. Its texts
// are decided by the logic; the window lays them out.
struct LocateProgramFormContent {
  std::wstring caption;
  std::vector<std::wstring> labels;  // Label1 ... Label6 in that order
  std::wstring link;                 // lblLink's text
  std::wstring nextCaption;          // Button1
  std::function<void()> onLinkClick;
};

// The launcher's main window: a status text above a progress bar.
class IMainView {
 public:
  virtual ~IMainView() = default;
  virtual void SetProgress(double value) = 0;  // 0 to 100
  virtual void SetStatusText(const std::wstring& text) = 0;
};

// The small top-most "Installer" window that shows a download's progress.
class IInstallerWindow {
 public:
  virtual ~IInstallerWindow() = default;
  virtual void SetStatusText(const std::wstring& text) = 0;
  virtual void SetProgress(double percent) = 0;  // 0 to 100
  virtual void Hide() = 0;
  // Ends the modal showing; ShowInstallerWindow returns once the current handler is done.
  virtual void Close() = 0;
};

struct OpenFileDialogRequest {
  std::wstring title;
  std::wstring filterName;     // "Executable Files (*.exe)"
  std::wstring filterPattern;  // "*.exe"
  std::wstring initialDir;
};

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;
  // MessageBoxW with no owner; flags are MB_* values.
  virtual int MessageBox(const std::wstring& text, const std::wstring& caption, uint32_t flags) = 0;
  // Modal on the calling thread, centred on the screen; returns the pressed button's result.
  virtual int ShowMessageDialog(const MessageDialogSpec& content) = 0;
  // Processes the pending window messages of the calling thread.
  virtual void ProcessMessages() = 0;
  // Ends the main loop; asked for on another thread it has no effect.
  virtual void Terminate() = 0;
  virtual bool IsMainThread() = 0;
  // Runs routine on the main thread and returns when it has finished; an error it raises is
  // raised again here. Called on the main thread, it runs routine at once.
  virtual void RunOnMainThread(const std::function<void()>& routine) = 0;
  // Starts body on a new thread; a name (when not empty) shows in debuggers and crash dumps.
  virtual void StartThread(std::function<void()> body, const std::wstring& name) = 0;
  void StartThread(std::function<void()> body) { StartThread(std::move(body), std::wstring()); }
  // Shows the information window modally, centred over the main window; true when its Next
  // button closed it, false for the close box. Main thread only.
  virtual bool ShowLocateProgramForm(const LocateProgramFormContent& content) = 0;
  // The system's file-open dialog; the chosen full path, or nullopt when cancelled. Main thread.
  virtual std::optional<std::wstring> ShowOpenFileDialog(const OpenFileDialogRequest& request) = 0;
  // Shows the "Installer" window modally (owner and centring reference: the main window) and
  // calls onActivate at each activation; returns when the window has been closed. Main thread.
  virtual void ShowInstallerWindow(const std::function<void(IInstallerWindow&)>& onActivate) = 0;
};

namespace mb {
constexpr uint32_t Ok = 0x0;
constexpr uint32_t IconWarning = 0x30;
constexpr uint32_t SetForeground = 0x10000;
}  // namespace mb

// ---------------------------------------------------------------- the platform's ports
// What one run works with; the program block fills it with the Win32 adapters, the doctor with
// the dry-run ones, a test with fakes. The adapters outlive every run that holds these.
struct PlatformServices {
  IRegistry* registry = nullptr;
  IFileSystem* files = nullptr;
  IShell* shell = nullptr;
  ISystem* system = nullptr;
  IUserInterface* ui = nullptr;
  INetwork* network = nullptr;
  IHttp* http = nullptr;
};

}  // namespace zl
