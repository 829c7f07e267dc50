#include "platform/win32/Win32UserInterface.h"

#include "platform/win32/LocateProgramWindow.h"
#include "platform/win32/Win32Util.h"

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

DWORD WINAPI ThreadStart(void* parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  // An error escaping a thread's body is a defect of the logic, and unwinding into kernel32 is
  // undefined: end the program the way std::thread would.
  try {
    (*body)();
  } catch (...) {
    std::terminate();
  }
  return 0;
}

// ---------------------------------------------------------------- top-most windows

// A top-most window of ours (a splash, the main window) would cover the dialog; it is lowered for
// the dialog's lifetime. Other threads' windows are moved with SetWindowPos, which waits for their
// thread: the main thread always pumps messages, so this cannot block for long.
class TopmostLowering {
 public:
  explicit TopmostLowering(bool active) {
    if (!active) return;
    ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&windows_));
    for (HWND w : windows_)
      ::SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ~TopmostLowering() {
    for (HWND w : windows_)
      if (::IsWindow(w))
        ::SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  TopmostLowering(const TopmostLowering&) = delete;
  TopmostLowering& operator=(const TopmostLowering&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM list) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window) &&
        (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0)
      reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  }

  std::vector<HWND> windows_;
};

// ---------------------------------------------------------------- task dialog

// The task dialog declarations exist in commctrl.h only for Vista targets; ours is XP, so the
// few we need are declared here, laid out as comctl32 6 expects (packed to 1 byte, as there).
#pragma pack(push, 1)
struct TaskDialogButton {
  int id;
  const wchar_t* text;
};
struct TaskDialogConfig {
  UINT cbSize;
  HWND hwndParent;
  HINSTANCE hInstance;
  int dwFlags;
  int dwCommonButtons;
  const wchar_t* pszWindowTitle;
  union {
    HICON hMainIcon;
    const wchar_t* pszMainIcon;
  };
  const wchar_t* pszMainInstruction;
  const wchar_t* pszContent;
  UINT cButtons;
  const TaskDialogButton* pButtons;
  int nDefaultButton;
  UINT cRadioButtons;
  const TaskDialogButton* pRadioButtons;
  int nDefaultRadioButton;
  const wchar_t* pszVerificationText;
  const wchar_t* pszExpandedInformation;
  const wchar_t* pszExpandedControlText;
  const wchar_t* pszCollapsedControlText;
  union {
    HICON hFooterIcon;
    const wchar_t* pszFooterIcon;
  };
  const wchar_t* pszFooter;
  void* pfCallback;
  LONG_PTR lpCallbackData;
  UINT cxWidth;
};
#pragma pack(pop)
static_assert(sizeof(void*) != 4 || sizeof(TaskDialogConfig) == 96,
              "TASKDIALOGCONFIG must have the size comctl32 expects");

constexpr int kTdfUseHiconMain = 0x0002;
constexpr int kTdfAllowDialogCancellation = 0x0008;
const wchar_t* const kTdWarningIcon = MAKEINTRESOURCEW(-1);
const wchar_t* const kTdErrorIcon = MAKEINTRESOURCEW(-2);
const wchar_t* const kTdInformationIcon = MAKEINTRESOURCEW(-3);

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TaskDialogConfig*, int*, int*, BOOL*);

struct DllVersionInfo {
  DWORD cbSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
};
using DllGetVersionFn = HRESULT(CALLBACK*)(DllVersionInfo*);
using IsAppThemedFn = BOOL(WINAPI*)();

// comctl32 as this process gets it: version 6 when the manifest asks for it, 5.8 otherwise.
UniqueModule LoadCommonControls() { return UniqueModule(::LoadLibraryW(L"comctl32.dll")); }

// The task dialog only looks right (and on Windows only exists) with visual styles: Vista or
// later, a theme in use, and comctl32 6 in this process.
bool TaskDialogSuits(HMODULE comctl) {
  OSVERSIONINFOW version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!::GetVersionExW(&version) || version.dwMajorVersion < 6) return false;

  UniqueModule uxtheme(::LoadLibraryW(L"uxtheme.dll"));
  const auto isAppThemed = LookUp<IsAppThemedFn>(uxtheme.Get(), "IsAppThemed");
  if (isAppThemed == nullptr || !isAppThemed()) return false;

  const auto getVersion = LookUp<DllGetVersionFn>(comctl, "DllGetVersion");
  DllVersionInfo info = {};
  info.cbSize = sizeof info;
  return getVersion != nullptr && SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6;
}

bool HasButton(const MessageDialogSpec& content, int result) {
  for (const DialogButton& b : content.buttons)
    if (b.result == result) return true;
  return false;
}

std::optional<int> ShowTaskDialog(TaskDialogIndirectFn taskDialog,
                                  const MessageDialogSpec& content) {
  std::vector<TaskDialogButton> buttons;
  for (const DialogButton& b : content.buttons) buttons.push_back({b.result, b.caption.c_str()});

  TaskDialogConfig config;
  ZeroMemory(&config, sizeof config);
  config.cbSize = sizeof config;
  config.hInstance = ::GetModuleHandleW(nullptr);
  // No parent and not relative to a window: the task dialog centres itself on the screen.
  config.dwFlags = kTdfAllowDialogCancellation;
  config.pszWindowTitle = content.title.c_str();
  switch (content.taskDialogIcon) {
    case DialogIcon::Warning:
      config.pszMainIcon = kTdWarningIcon;
      break;
    case DialogIcon::Error:
      config.pszMainIcon = kTdErrorIcon;
      break;
    case DialogIcon::Information:
      config.pszMainIcon = kTdInformationIcon;
      break;
    case DialogIcon::Question:  // the task dialog has no question icon of its own
      config.dwFlags |= kTdfUseHiconMain;
      config.hMainIcon = ::LoadIconW(nullptr, IDI_QUESTION);
      break;
    case DialogIcon::None:
      break;
  }
  config.pszContent = content.text.c_str();
  config.cButtons = static_cast<UINT>(buttons.size());
  config.pButtons = buttons.empty() ? nullptr : buttons.data();
  config.nDefaultButton = content.defaultResult;

  int pressed = 0;
  if (FAILED(taskDialog(&config, &pressed, nullptr, nullptr))) return std::nullopt;
  // Escape and the close box answer IDCANCEL; a button of ours with that id answers the same.
  if (pressed == IDCANCEL && !HasButton(content, IDCANCEL)) return content.closeResult;
  return pressed;
}

// ---------------------------------------------------------------- classic dialog

class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

struct ClassicDialog {
  const MessageDialogSpec* content = nullptr;
  UniqueGdi<HFONT> font;
  std::vector<HWND> buttons;
  int result = 0;
};

// The message font of the running system. NONCLIENTMETRICSW is declared here without the Vista
// field iPaddedBorderWidth (our target is XP), which is the size every Windows accepts.
UniqueGdi<HFONT> MessageFont() {
  NONCLIENTMETRICSW metrics;
  ZeroMemory(&metrics, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    return UniqueGdi<HFONT>(::CreateFontIndirectW(&metrics.lfMessageFont));
  return UniqueGdi<HFONT>();
}

const wchar_t* SystemIcon(DialogIcon icon) {
  switch (icon) {
    case DialogIcon::Warning:
      return IDI_WARNING;
    case DialogIcon::Error:
      return IDI_ERROR;
    case DialogIcon::Information:
      return IDI_INFORMATION;
    case DialogIcon::Question:
      return IDI_QUESTION;
    case DialogIcon::None:
      break;
  }
  return nullptr;
}

HWND AddControl(HWND dialog, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                HFONT font) {
  HWND control = ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                   dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  if (control != nullptr && font != nullptr)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// Lays the dialog out in the message font's dialog units, as the system's own message box does:
// icon at the top left, the text beside it wrapped to a readable width, the buttons centred in a
// row below, the whole centred on the screen.
void LayOut(HWND dialog, ClassicDialog& state) {
  const MessageDialogSpec& content = *state.content;
  HFONT font = state.font.Get();
  if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));

  WindowDc dc(dialog);
  SelectedObject selected(dc.Get(), font);
  TEXTMETRICW tm;
  ::GetTextMetricsW(dc.Get(), &tm);
  SIZE alphabet = {};
  ::GetTextExtentPoint32W(dc.Get(), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52,
                          &alphabet);
  const int baseX = (alphabet.cx / 26 + 1) / 2;
  const int baseY = tm.tmHeight;
  auto dx = [&](int dlu) { return ::MulDiv(dlu, baseX, 4); };
  auto dy = [&](int dlu) { return ::MulDiv(dlu, baseY, 8); };

  const int screenW = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenH = ::GetSystemMetrics(SM_CYSCREEN);
  const int marginX = dx(7), marginY = dy(7);

  const wchar_t* iconName = SystemIcon(content.icon);
  HICON icon = iconName != nullptr ? ::LoadIconW(nullptr, iconName) : nullptr;
  const int iconW = icon != nullptr ? ::GetSystemMetrics(SM_CXICON) : 0;
  const int iconH = icon != nullptr ? ::GetSystemMetrics(SM_CYICON) : 0;

  const UINT textFlags = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;
  int maxTextW = dx(300);
  if (maxTextW > screenW * 3 / 5) maxTextW = screenW * 3 / 5;
  RECT textRect = {0, 0, maxTextW, 0};
  ::DrawTextW(dc.Get(), content.text.c_str(), -1, &textRect, textFlags | DT_CALCRECT);
  const int textW = textRect.right - textRect.left;
  const int textH = textRect.bottom - textRect.top;

  int buttonW = dx(50);
  for (const DialogButton& b : content.buttons) {
    RECT r = {0, 0, 0, 0};
    ::DrawTextW(dc.Get(), b.caption.c_str(), -1, &r, DT_SINGLELINE | DT_CALCRECT);
    if (r.right - r.left + 2 * dx(6) > buttonW) buttonW = r.right - r.left + 2 * dx(6);
  }
  const int buttonH = dy(14);
  const int buttonGap = dx(4);
  const int n = static_cast<int>(content.buttons.size());
  const int rowW = n * buttonW + (n > 0 ? (n - 1) * buttonGap : 0);

  const int textX = marginX + (icon != nullptr ? iconW + marginX : 0);
  const int contentH = textH > iconH ? textH : iconH;
  int clientW = textX + textW + marginX;
  if (rowW + 2 * marginX > clientW) clientW = rowW + 2 * marginX;
  const int rowY = marginY + contentH + marginY;
  const int clientH = rowY + buttonH + marginY;

  if (icon != nullptr) {
    HWND iconControl = AddControl(dialog, L"STATIC", L"", SS_ICON, -1, nullptr);
    ::SendMessageW(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    ::MoveWindow(iconControl, marginX, marginY, iconW, iconH, FALSE);
  }
  HWND text = AddControl(dialog, L"STATIC", content.text, SS_LEFT | SS_NOPREFIX, -1, font);
  ::MoveWindow(text, textX, marginY + (contentH - textH) / 2, textW, textH, FALSE);

  HWND focus = nullptr;
  int x = (clientW - rowW) / 2;
  for (const DialogButton& b : content.buttons) {
    const bool isDefault = b.result == content.defaultResult && focus == nullptr;
    HWND button = AddControl(dialog, L"BUTTON", b.caption,
                             WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                             b.result & 0xFFFF, font);
    ::MoveWindow(button, x, rowY, buttonW, buttonH, FALSE);
    state.buttons.push_back(button);
    if (isDefault) {
      focus = button;
      ::SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(b.result & 0xFFFF), 0);
    }
    x += buttonW + buttonGap;
  }
  if (focus == nullptr && !state.buttons.empty()) focus = state.buttons.front();

  const LONG style = ::GetWindowLongW(dialog, GWL_STYLE);
  const LONG exStyle = ::GetWindowLongW(dialog, GWL_EXSTYLE);
  RECT frame = {0, 0, clientW, clientH};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(exStyle));
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  ::SetWindowPos(dialog, nullptr, (screenW - w) / 2, (screenH - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  if (focus != nullptr) ::SetFocus(focus);
}

INT_PTR CALLBACK ClassicDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<ClassicDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      LayOut(dialog, *reinterpret_cast<ClassicDialog*>(lParam));
      return FALSE;  // focus is set on the default button
    case WM_COMMAND: {
      if (state == nullptr) break;
      // Buttons are told apart by window, not id: results need not be valid control ids.
      // Escape arrives as IDCANCEL from the IDCANCEL control if there is one (then it presses
      // that button, as in the system's message box), else from no control at all.
      const HWND from = reinterpret_cast<HWND>(lParam);
      for (size_t i = 0; i < state->buttons.size(); ++i) {
        if (from != nullptr && from == state->buttons[i] && HIWORD(wParam) == BN_CLICKED) {
          state->result = state->content->buttons[i].result;
          ::EndDialog(dialog, 1);
          return TRUE;
        }
      }
      if (LOWORD(wParam) == IDCANCEL) {
        state->result = state->content->closeResult;
        ::EndDialog(dialog, 1);
        return TRUE;
      }
      break;
    }
    case WM_CLOSE:
      if (state == nullptr) break;
      state->result = state->content->closeResult;
      ::EndDialog(dialog, 1);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

int ShowClassicDialog(const MessageDialogSpec& content) {
  ClassicDialog state;
  state.content = &content;
  state.result = content.closeResult;
  state.font = MessageFont();

  // An in-memory template with no controls: they are made and placed in WM_INITDIALOG, where
  // the font is known. The template must be DWORD-aligned, which vector storage is.
  std::vector<WORD> tmpl(sizeof(DLGTEMPLATE) / sizeof(WORD) + 2, 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(tmpl.data());
  header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
  header->cdit = 0;
  tmpl.insert(tmpl.end(), content.title.begin(), content.title.end());
  tmpl.push_back(0);

  const INT_PTR rc = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(tmpl.data()), nullptr,
      &ClassicDialogProc, reinterpret_cast<LPARAM>(&state));
  // A dialog that could not be shown answers like one closed unanswered.
  return rc == 1 ? state.result : content.closeResult;
}

}  // namespace

// ---------------------------------------------------------------- Win32UserInterface

Win32UserInterface::Win32UserInterface() : mainThreadId_(::GetCurrentThreadId()) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSW cls;
  ZeroMemory(&cls, sizeof cls);
  cls.lpfnWndProc = &HandoverProc;
  cls.hInstance = instance;
  cls.lpszClassName = kHandoverClass;
  if (!::RegisterClassW(&cls) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
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

bool Win32UserInterface::TaskDialogAvailable() {
  UniqueModule comctl = LoadCommonControls();
  return LookUp<TaskDialogIndirectFn>(comctl.Get(), "TaskDialogIndirect") != nullptr;
}

int Win32UserInterface::ShowMessageDialog(const MessageDialogSpec& content) {
  TopmostLowering lowering(content.lowerTopmost);
  if (forcedPath_ != DialogPath::Classic) {
    // TaskDialogIndirect is Vista's: looked up, never imported, or the program would not start
    // on XP. Under Wine it works without our manifest; on Windows it needs comctl32 6.
    UniqueModule comctl = LoadCommonControls();
    const auto taskDialog = LookUp<TaskDialogIndirectFn>(comctl.Get(), "TaskDialogIndirect");
    if (taskDialog != nullptr &&
        (forcedPath_ == DialogPath::Task || TaskDialogSuits(comctl.Get()))) {
      if (const std::optional<int> result = ShowTaskDialog(taskDialog, content)) {
        lastPath_ = DialogPath::Task;
        return *result;
      }
    }
  }
  lastPath_ = DialogPath::Classic;
  return ShowClassicDialog(content);
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

void Win32UserInterface::StartThread(std::function<void()> body) {
  // CreateThread, not std::thread: this toolchain's win32 thread model has none, and its posix
  // model imports functions XP lacks.
  auto* heapBody = new std::function<void()>(std::move(body));
  DWORD id = 0;
  UniqueHandle thread(::CreateThread(nullptr, 0, &ThreadStart, heapBody, 0, &id));
  if (!thread) {
    const DWORD error = ::GetLastError();
    delete heapBody;
    ThrowWithSystemMessage(L"Cannot start a thread.", error);
  }
  // The thread runs detached: closing our handle does not end it.
}

using GetOpenFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);

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
