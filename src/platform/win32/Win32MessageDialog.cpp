#include "platform/win32/Win32MessageDialog.h"

#include "platform/win32/Win32Util.h"
#include "platform/win32/WindowKit.h"

#include <optional>
#include <vector>

namespace zl::win32 {

namespace {

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

  UniqueModule uxtheme = LoadSystemLibrary(L"uxtheme.dll");
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

struct ClassicDialog {
  const MessageDialogSpec* content = nullptr;
  UniqueGdi<HFONT> font;
  std::vector<HWND> buttons;
  int result = 0;
};

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
    HWND iconControl = AddControl(dialog, L"STATIC", L"", SS_ICON, -1, RECT{}, nullptr);
    ::SendMessageW(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    ::MoveWindow(iconControl, marginX, marginY, iconW, iconH, FALSE);
  }
  HWND text = AddControl(dialog, L"STATIC", content.text, SS_LEFT | SS_NOPREFIX, -1, RECT{}, font);
  ::MoveWindow(text, textX, marginY + (contentH - textH) / 2, textW, textH, FALSE);

  HWND focus = nullptr;
  int x = (clientW - rowW) / 2;
  for (const DialogButton& b : content.buttons) {
    const bool isDefault = b.result == content.defaultResult && focus == nullptr;
    HWND button = AddControl(dialog, L"BUTTON", b.caption,
                             WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                             b.result & 0xFFFF, RECT{}, font);
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

  // The controls are made and placed in WM_INITDIALOG, where the font is known.
  std::vector<WORD> tmpl =
      DialogTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK, content.title);
  const INT_PTR rc = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(tmpl.data()), nullptr,
      &ClassicDialogProc, reinterpret_cast<LPARAM>(&state));
  // A dialog that could not be shown answers like one closed unanswered.
  return rc == 1 ? state.result : content.closeResult;
}

}  // namespace

bool TaskDialogAvailable() {
  UniqueModule comctl = LoadCommonControls();
  return LookUp<TaskDialogIndirectFn>(comctl.Get(), "TaskDialogIndirect") != nullptr;
}

int ShowMessageDialogWindow(const MessageDialogSpec& content, DialogPath forced,
                            DialogPath& taken) {
  TopmostLowering lowering(content.lowerTopmost);
  if (forced != DialogPath::Classic) {
    // TaskDialogIndirect is Vista's: looked up, never imported, or the program would not start
    // on XP. Under Wine it works without our manifest; on Windows it needs comctl32 6.
    UniqueModule comctl = LoadCommonControls();
    const auto taskDialog = LookUp<TaskDialogIndirectFn>(comctl.Get(), "TaskDialogIndirect");
    if (taskDialog != nullptr && (forced == DialogPath::Task || TaskDialogSuits(comctl.Get()))) {
      if (const std::optional<int> result = ShowTaskDialog(taskDialog, content)) {
        taken = DialogPath::Task;
        return *result;
      }
    }
  }
  taken = DialogPath::Classic;
  return ShowClassicDialog(content);
}

}  // namespace zl::win32
