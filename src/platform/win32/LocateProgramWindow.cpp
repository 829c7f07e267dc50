#include "platform/win32/LocateProgramWindow.h"

#include "platform/win32/Handles.h"
#include "platform/win32/WindowKit.h"

#include <exception>
#include <vector>

namespace zl::win32 {

namespace {

// The layout in pixels at 96 DPI: left, top, width, height in the client area.
struct Place {
  int x, y, w, h;
};
constexpr int kClientWidth = 470, kClientHeight = 211;
constexpr Place kImagePlace = {12, 12, 50, 53};
constexpr int kIconSize = 48;
constexpr Place kLabelPlaces[6] = {
    {64, 4, 381, 45},    // Label1
    {36, 71, 413, 21},   // Label2
    {36, 91, 413, 15},   // Label3
    {36, 108, 413, 15},  // Label4
    {36, 128, 413, 25},  // Label5
    {64, 48, 385, 15},   // Label6
};
constexpr bool kLabelItalic[6] = {false, false, true, true, false, false};
constexpr Place kLinkPlace = {36, 148, 417, 15};
constexpr Place kNextPlace = {368, 178, 80, 22};
constexpr int kFontPixels = 12;
const COLORREF kLinkColour = RGB(0, 0, 255);

struct FormState {
  const LocateProgramFormContent* content = nullptr;
  HWND mainWindow = nullptr;
  int dpi = 96;
  UniqueGdi<HFONT> regular, italic, underlined;
  HICON warning = nullptr;  // shared system icon: never destroyed
  bool proceed = false;
  std::exception_ptr error;

  int Scale(int pixels) const { return ::MulDiv(pixels, dpi, 96); }
};

UniqueGdi<HFONT> LabelFont(const FormState& state, bool italic, bool underline) {
  FontStyle style;
  style.pixels = state.Scale(kFontPixels);
  style.italic = italic;
  style.underline = underline;
  return MessageFont(style);
}

HWND AddControl(HWND form, const FormState& state, const wchar_t* cls, const std::wstring& text,
                DWORD style, int id, const Place& place, HFONT font) {
  const int x = state.Scale(place.x), y = state.Scale(place.y);
  const RECT r = {x, y, x + state.Scale(place.w), y + state.Scale(place.h)};
  return win32::AddControl(form, cls, text, style, id, r, font);
}

void Build(HWND form, FormState& state) {
  const LocateProgramFormContent& content = *state.content;
  state.regular = LabelFont(state, false, false);
  state.italic = LabelFont(state, true, false);
  state.underlined = LabelFont(state, false, true);
  state.warning = ::LoadIconW(nullptr, IDI_WARNING);

  // The picture is drawn by us (WM_DRAWITEM) at 48 x 48: a static takes no focus and, without
  // SS_NOTIFY, ignores clicks.
  AddControl(form, state, L"STATIC", L"", SS_OWNERDRAW, locate_ids::kImage, kImagePlace, nullptr);
  for (int i = 0; i < 6; ++i) {
    const std::wstring text =
        static_cast<size_t>(i) < content.labels.size() ? content.labels[i] : std::wstring();
    AddControl(form, state, L"STATIC", text, SS_LEFT | SS_NOPREFIX, locate_ids::kLabel1 + i,
               kLabelPlaces[i], kLabelItalic[i] ? state.italic.Get() : state.regular.Get());
  }
  AddControl(form, state, L"STATIC", content.link, SS_LEFT | SS_NOPREFIX | SS_NOTIFY,
             locate_ids::kLink, kLinkPlace, state.underlined.Get());
  HWND next = AddControl(form, state, L"BUTTON", content.nextCaption, WS_TABSTOP | BS_DEFPUSHBUTTON,
                         locate_ids::kNext, kNextPlace, state.regular.Get());

  const DWORD style = static_cast<DWORD>(::GetWindowLongW(form, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(form, GWL_EXSTYLE));
  RECT frame = {0, 0, state.Scale(kClientWidth), state.Scale(kClientHeight)};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  ::SetWindowPos(form, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CentreOver(form, state.mainWindow);
  if (next != nullptr) ::SetFocus(next);
}

void DrawPicture(const FormState& state, const DRAWITEMSTRUCT& item) {
  const RECT& r = item.rcItem;
  const int size = state.Scale(kIconSize);
  // Centred in its area, on the form's own background: no frame, no fill.
  const int x = r.left + (r.right - r.left - size) / 2;
  const int y = r.top + (r.bottom - r.top - size) / 2;
  ::FillRect(item.hDC, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  if (state.warning != nullptr)
    ::DrawIconEx(item.hDC, x, y, state.warning, size, size, 0, nullptr, DI_NORMAL);
}

INT_PTR CALLBACK FormProc(HWND form, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<FormState*>(::GetWindowLongPtrW(form, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(form, DWLP_USER, lParam);
      Build(form, *reinterpret_cast<FormState*>(lParam));
      return FALSE;  // the focus is already on Next
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (state == nullptr || item->CtlID != static_cast<UINT>(locate_ids::kImage)) break;
      DrawPicture(*state, *item);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) != ::GetDlgItem(form, locate_ids::kLink)) break;
      ::SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColour);
      ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) != ::GetDlgItem(form, locate_ids::kLink)) break;
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      ::SetWindowLongPtrW(form, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      if (state == nullptr) break;
      switch (LOWORD(wParam)) {
        case locate_ids::kNext:  // the button, and Enter
          state->proceed = true;
          ::EndDialog(form, 1);
          return TRUE;
        case IDCANCEL:  // Escape
          ::EndDialog(form, 1);
          return TRUE;
        case locate_ids::kLink:
          if (HIWORD(wParam) != STN_CLICKED || !state->content->onLinkClick) break;
          // Nothing may unwind through user32: the error waits until the window is gone.
          try {
            state->content->onLinkClick();
          } catch (...) {
            state->error = std::current_exception();
            ::EndDialog(form, 1);
          }
          return TRUE;
        default:
          break;
      }
      break;
    case WM_CLOSE:
      if (state == nullptr) break;
      ::EndDialog(form, 1);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

bool ShowLocateProgramWindow(const LocateProgramFormContent& content, HWND mainWindow) {
  FormState state;
  state.content = &content;
  state.mainWindow = (mainWindow != nullptr && ::IsWindow(mainWindow)) ? mainWindow : nullptr;
  state.dpi = ScreenDpi();

  // Controls are made in WM_INITDIALOG in pixels, where the DPI is known. A fixed single border
  // with only the close box; hidden until the dialog manager shows it after WM_INITDIALOG.
  std::vector<WORD> tmpl =
      DialogTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_3DLOOK, content.caption);

  // The main window as owner keeps the form above it and disabled for as long as it shows.
  const INT_PTR rc = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(tmpl.data()), state.mainWindow,
      &FormProc, reinterpret_cast<LPARAM>(&state));
  if (state.error) std::rethrow_exception(state.error);
  return rc == 1 && state.proceed;
}

}  // namespace zl::win32
