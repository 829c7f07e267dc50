#include "platform/win32/Win32UserInterface.h"

#include "platform/win32/InstallerWindow.h"
#include "platform/win32/LocateProgramWindow.h"
#include "platform/win32/Win32MessageDialog.h"
#include "platform/win32/Win32Util.h"
#include "platform/win32/WindowKit.h"

#include <commdlg.h>

#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace zl::win32 {

namespace {

// WM_APP and up belong to the application; WM_USER values collide with dialog messages.
constexpr UINT kHandoverMessage = WM_APP + 1;
constexpr wchar_t kHandoverClass[] = L"ZelkoraLauncher.Handover";

struct HandoverPacket {
  const std::function<void()>* routine = nullptr;
  std::exception_ptr error;
  bool ran = false;
};

LRESULT CALLBACK HandoverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kHandoverMessage) {
    auto* packet = reinterpret_cast<HandoverPacket*>(lParam);
    packet->ran = true;
    // Nothing may unwind through user32: the error travels back to the worker instead.
    try {
      (*packet->routine)();
    } catch (...) {
      packet->error = std::current_exception();
    }
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

struct ThreadStartData {
  std::function<void()> body;
  std::wstring name;
};

// The debugger's own way to learn a thread's name: an exception it catches first. Without
// __try in i686 GCC, a vectored handler continues it should the debugger pass it back.
constexpr DWORD kSetThreadNameException = 0x406D1388;

LONG CALLBACK ContinueThreadNameException(EXCEPTION_POINTERS* info) {
  return info->ExceptionRecord->ExceptionCode == kSetThreadNameException
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}

void NameThisThread(const std::wstring& name) {
  if (name.empty()) return;
  // Windows 10 1607 and later keep the name with the thread, for every tool to see.
  using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  if (const auto setDescription =
          LookUp<SetThreadDescriptionFn>(::GetModuleHandleW(L"kernel32"), "SetThreadDescription"))
    setDescription(::GetCurrentThread(), name.c_str());
  if (!::IsDebuggerPresent()) return;
  const std::string narrow(name.begin(), name.end());
#pragma pack(push, 8)
  struct {
    DWORD type;
    LPCSTR name;
    DWORD threadId;
    DWORD flags;
  } info = {0x1000, narrow.c_str(), static_cast<DWORD>(-1), 0};
#pragma pack(pop)
  PVOID handler = ::AddVectoredExceptionHandler(1, &ContinueThreadNameException);
  ::RaiseException(kSetThreadNameException, 0, sizeof info / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
  if (handler != nullptr) ::RemoveVectoredExceptionHandler(handler);
}

DWORD WINAPI ThreadStart(void* parameter) {
  std::unique_ptr<ThreadStartData> data(static_cast<ThreadStartData*>(parameter));
  NameThisThread(data->name);
  // An error escaping a thread's body is a defect of the logic, and unwinding into kernel32 is
  // undefined: end the program the way std::thread would.
  try {
    data->body();
  } catch (...) {
    std::terminate();
  }
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- Win32UserInterface

Win32UserInterface::Win32UserInterface() : mainThreadId_(::GetCurrentThreadId()) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (!RegisterWindowClass(kHandoverClass, &HandoverProc))
    ThrowWithSystemMessage(L"Cannot register the hand-over window class.", ::GetLastError());
  // A message-only window (Windows 2000 and later): never shown, never enumerated, and owned by
  // this thread, so whatever is sent to it runs here.
  handover_.Reset(::CreateWindowExW(0, kHandoverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    instance, nullptr));
  if (!handover_) ThrowWithSystemMessage(L"Cannot create the hand-over window.", ::GetLastError());
}

Win32UserInterface::~Win32UserInterface() = default;

int Win32UserInterface::MessageBox(const std::wstring& text, const std::wstring& caption,
                                   uint32_t flags) {
  return ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

bool Win32UserInterface::TaskDialogAvailable() { return win32::TaskDialogAvailable(); }

int Win32UserInterface::ShowMessageDialog(const MessageDialogSpec& content) {
  DialogPath taken = DialogPath::Classic;
  const int result = ShowMessageDialogWindow(content, forcedPath_, taken);
  lastPath_ = taken;
  return result;
}

void Win32UserInterface::ProcessMessages() {
  // Nothing queued (always so on the worker, which has no windows): skip PeekMessageW, which
  // under Wine costs a round trip to the display each time.
  if (HIWORD(::GetQueueStatus(QS_ALLINPUT)) == 0 && LOWORD(::GetQueueStatus(QS_ALLINPUT)) == 0)
    return;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Put it back for the main loop, which ends on it.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (dialog_ != nullptr && ::IsDialogMessageW(dialog_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void Win32UserInterface::Terminate() {
  // Only the main thread ends the program; a worker asks it through RunOnMainThread.
  if (!IsMainThread()) return;
  terminated_ = true;
  // Wakes GetMessageW so the loop sees the flag even when nothing else is queued.
  ::PostMessageW(handover_.Get(), WM_NULL, 0, 0);
}

int Win32UserInterface::RunMainLoop() {
  MSG msg;
  while (!terminated_) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return -1;
    if (dialog_ != nullptr && ::IsDialogMessageW(dialog_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

bool Win32UserInterface::IsMainThread() { return ::GetCurrentThreadId() == mainThreadId_; }

void Win32UserInterface::RunOnMainThread(const std::function<void()>& routine) {
  if (IsMainThread()) {
    routine();
    return;
  }
  // SendMessageW blocks this thread until the main thread's window procedure has returned. The
  // main thread receives sent messages whenever it looks for messages: in our main loop, and also
  // inside any modal loop it is in (a message box, a dialog, a menu), which is why the hand-over
  // is a sent message and not an event the main loop would have to poll.
  HandoverPacket packet;
  packet.routine = &routine;
  ::SendMessageW(handover_.Get(), kHandoverMessage, 0, reinterpret_cast<LPARAM>(&packet));
  if (packet.error) std::rethrow_exception(packet.error);
  if (!packet.ran) throw LauncherError(L"The main thread did not run the routine.");
}

void Win32UserInterface::StartThread(std::function<void()> body, const std::wstring& name) {
  // CreateThread, not std::thread: this toolchain's win32 thread model has none, and its posix
  // model imports functions XP lacks.
  auto* data = new ThreadStartData{std::move(body), name};
  DWORD id = 0;
  UniqueHandle thread(::CreateThread(nullptr, 0, &ThreadStart, data, 0, &id));
  if (!thread) {
    const DWORD error = ::GetLastError();
    delete data;
    ThrowWithSystemMessage(L"Cannot start a thread.", error);
  }
  // The thread runs detached: closing our handle does not end it.
}

using GetOpenFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);

void Win32UserInterface::ShowInstallerWindow(
    const std::function<void(IInstallerWindow&)>& onActivate) {
  if (!IsMainThread()) throw LauncherError(L"The installer window is shown on the main thread.");
  InstallerWindow window(MainWindowHandle());
  window.Run(onActivate);
}

bool Win32UserInterface::ShowLocateProgramForm(const LocateProgramFormContent& content) {
  return ShowLocateProgramWindow(content, mainWindow_);
}

std::optional<std::wstring> Win32UserInterface::ShowOpenFileDialog(
    const OpenFileDialogRequest& request) {
  // "name\0pattern\0\0": the double terminator ends the list.
  std::wstring filter = request.filterName;
  filter.push_back(L'\0');
  filter += request.filterPattern;
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  // Room for long paths: a shorter buffer makes the dialog fail with FNERR_BUFFERTOOSMALL.
  std::vector<wchar_t> file(32768, L'\0');

  OPENFILENAMEW ofn;
  ZeroMemory(&ofn, sizeof ofn);
  // The size with the Windows 2000 fields (the places bar), which XP and later accept.
  static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88, "OPENFILENAMEW as XP has it");
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = (mainWindow_ != nullptr && ::IsWindow(mainWindow_)) ? mainWindow_ : nullptr;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = request.initialDir.empty() ? nullptr : request.initialDir.c_str();
  ofn.lpstrTitle = request.title.c_str();
  // An open dialog's usual options: read-only box hidden, resizable. Existence is not enforced
  // here; the callers check the chosen file themselves.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  // Loaded for the dialog only: imported, comdlg32 would bring its dependencies (comctl32,
  // uxtheme under Wine) into every start of a program that rarely shows it. A KnownDLL, so the
  // system's copy is the one loaded.
  UniqueModule comdlg(::LoadLibraryW(L"comdlg32.dll"));
  const auto getOpenFileName = LookUp<GetOpenFileNameFn>(comdlg.Get(), "GetOpenFileNameW");
  if (getOpenFileName == nullptr || !getOpenFileName(&ofn)) return std::nullopt;
  return std::wstring(file.data());
}

}  // namespace zl::win32
