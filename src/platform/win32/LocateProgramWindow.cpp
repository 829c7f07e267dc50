#include "platform/win32/LocateProgramWindow.h"

#include "platform/win32/Handles.h"
#include "platform/win32/WindowKit.h"

#include <commctrl.h>

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

// Off only while a test stands in for a comctl32 without SysLink.
bool sysLinkAllowed = true;

struct FormState {
  const LocateProgramFormContent* content = nullptr;
  HWND mainWindow = nullptr;
  int dpi = 96;
  UniqueGdi<HFONT> regular, italic, underlined;
  HICON warning = nullptr;  // shared system icon: never destroyed
  Palette palette;
  bool sysLink = false;  // the link is a SysLink; otherwise an owner-drawn button
  bool proceed = false;
  std::exception_ptr error;

  int Scale(int pixels) const { return ::MulDiv(pixels, dpi, 96); }
};

FormState* StateOf(HWND form) {
  return reinterpret_cast<FormState*>(::GetWindowLongPtrW(form, DWLP_USER));
}

void OpenLink(HWND form, FormState& state) {
  if (!state.content->onLinkClick) return;
  // Nothing may unwind through user32: the error waits until the window is gone.
  try {
    state.content->onLinkClick();
  } catch (...) {
    state.error = std::current_exception();
    ::EndDialog(form, 1);
  }
}

// The link as both kinds of control show it: underlined text in the palette's link colour on the
// dialog face, and a focus rectangle around the text while it has the keyboard. SysLink would
// paint its links in a colour of its own (COLOR_HIGHLIGHT under Wine, COLOR_HOTLIGHT on Windows)
// that no message changes.
void DrawLink(HDC dc, const RECT& area, const FormState& state, bool focused) {
  FillSolid(dc, area, Colour(state.palette.background));
  const std::wstring& text = state.content->link;
  const UINT format = DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX;
  SelectedObject font(dc, state.underlined.Get());
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour = ::SetTextColor(dc, Colour(state.palette.link));
  RECT drawn = area;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &drawn, format);
  if (focused) {
    RECT bounds = area;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, format | DT_CALCRECT);
    ::IntersectRect(&bounds, &bounds, &area);
    ::SetTextColor(dc, Colour(state.palette.text));
    ::DrawFocusRect(dc, &bounds);
  }
  ::SetTextColor(dc, oldColour);
  ::SetBkMode(dc, oldMode);
}

// ---------------------------------------------------------------- the link's keyboard
// Both kinds of link control answer Enter and Space alike: one press opens the link once. The
// dialog manager is told the control wants these keys, so Enter on the link never presses Next;
// the control's own handling of them (press, release, character) is skipped, so neither the
// button's BN_CLICKED nor SysLink's NM_RETURN opens it a second time.
constexpr wchar_t kLinkProcProperty[] = L"ZelkoraLinkProc";

bool IsActivationKey(WPARAM key) { return key == VK_RETURN || key == VK_SPACE; }

bool IsActivationKeyMessage(const MSG* msg) {
  return msg != nullptr &&
         (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || msg->message == WM_CHAR) &&
         IsActivationKey(msg->wParam);  // '\r' and ' ' are VK_RETURN and VK_SPACE
}

void PaintSysLink(HWND link, HDC given, const FormState& state) {
  PAINTSTRUCT ps;
  HDC dc = given != nullptr ? given : ::BeginPaint(link, &ps);
  if (dc == nullptr) return;
  RECT area;
  ::GetClientRect(link, &area);
  const bool cuesHidden = (::SendMessageW(link, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
  DrawLink(dc, area, state, ::GetFocus() == link && !cuesHidden);
  if (given == nullptr) ::EndPaint(link, &ps);
}

LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto original = reinterpret_cast<WNDPROC>(::GetPropW(link, kLinkProcProperty));
  if (original == nullptr) return ::DefWindowProcW(link, message, wParam, lParam);
  HWND form = ::GetParent(link);
  FormState* state = StateOf(form);
  const bool sysLink = state != nullptr && state->sysLink;
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = ::CallWindowProcW(original, link, message, wParam, lParam);
      if (IsActivationKeyMessage(reinterpret_cast<const MSG*>(lParam))) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      if (!IsActivationKey(wParam)) break;
      // Bit 30: the key was already down, a repeat of the same press.
      if ((lParam & (1L << 30)) == 0 && state != nullptr) OpenLink(form, *state);
      return 0;
    case WM_KEYUP:
    case WM_CHAR:
      if (IsActivationKey(wParam)) return 0;
      break;
    case WM_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
      // The window's own text is the plain link text (see Build); SysLink's would be the markup.
      if (sysLink) return ::DefWindowProcW(link, message, wParam, lParam);
      break;
    case WM_ERASEBKGND:
      if (sysLink) return 1;  // painted whole in WM_PAINT
      break;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      if (!sysLink) break;
      PaintSysLink(link, reinterpret_cast<HDC>(wParam), *state);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (!sysLink) break;
      ::CallWindowProcW(original, link, message, wParam, lParam);
      ::InvalidateRect(link, nullptr, FALSE);  // the focus rectangle is ours
      return 0;
    case WM_DESTROY:
      // Wine's SysLink deletes the font it was given when it is destroyed; the font is the
      // window's, so the control gets it back first.
      if (sysLink) ::CallWindowProcW(original, link, WM_SETFONT, 0, FALSE);
      break;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      ::RemovePropW(link, kLinkProcProperty);
      break;
    default:
      break;
  }
  return ::CallWindowProcW(original, link, message, wParam, lParam);
}

void SubclassLink(HWND link) {
  if (link == nullptr) return;
  const LONG_PTR original = ::GetWindowLongPtrW(link, GWLP_WNDPROC);
  ::SetPropW(link, kLinkProcProperty, reinterpret_cast<HANDLE>(original));
  ::SetWindowLongPtrW(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LinkProc));
}

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
  // A SysLink where comctl32 has one (version 6: screen readers name it a link), otherwise a
  // button drawn as a link. Either way a tab stop, painted by us, and keyed alike (LinkProc).
  HWND link = nullptr;
  if (sysLinkAllowed && InitCommonControlClasses(ICC_LINK_CLASS)) {
    link = AddControl(form, state, WC_LINK, L"<a>" + content.link + L"</a>", WS_TABSTOP,
                      locate_ids::kLink, kLinkPlace, state.underlined.Get());
    // SysLink keeps the markup as the window's text; the text read back (by screen readers,
    // the window driver) is the link's own.
    if (link != nullptr)
      ::DefWindowProcW(link, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(content.link.c_str()));
  }
  state.sysLink = link != nullptr;
  if (link == nullptr)
    link = AddControl(form, state, L"BUTTON", content.link, BS_OWNERDRAW | WS_TABSTOP,
                      locate_ids::kLink, kLinkPlace, state.underlined.Get());
  SubclassLink(link);
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
  FormState* state = StateOf(form);
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(form, DWLP_USER, lParam);
      Build(form, *reinterpret_cast<FormState*>(lParam));
      return FALSE;  // the focus is already on Next
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (state == nullptr) break;
      if (item->CtlID == static_cast<UINT>(locate_ids::kImage)) {
        DrawPicture(*state, *item);
        return TRUE;
      }
      if (item->CtlID == static_cast<UINT>(locate_ids::kLink)) {
        DrawLink(item->hDC, item->rcItem, *state,
                 (item->itemState & ODS_FOCUS) != 0 && (item->itemState & ODS_NOFOCUSRECT) == 0);
        return TRUE;
      }
      break;
    }
    case WM_SETTINGCHANGE:  // high contrast switched
    case WM_SYSCOLORCHANGE:
      if (state == nullptr) break;
      state->palette = CurrentDialogPalette();
      ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (state == nullptr || header->idFrom != static_cast<UINT_PTR>(locate_ids::kLink)) break;
      if (header->code != static_cast<UINT>(NM_CLICK) &&
          header->code != static_cast<UINT>(NM_RETURN))
        break;
      OpenLink(form, *state);
      return TRUE;
    }
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
        case locate_ids::kLink:  // the button drawn as a link; SysLink notifies instead
          if (HIWORD(wParam) != BN_CLICKED || state->sysLink) break;
          OpenLink(form, *state);
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

bool AllowSysLinkForLocateWindow(bool allowed) {
  const bool before = sysLinkAllowed;
  sysLinkAllowed = allowed;
  return before;
}

bool ShowLocateProgramWindow(const LocateProgramFormContent& content, HWND mainWindow) {
  FormState state;
  state.content = &content;
  state.mainWindow = (mainWindow != nullptr && ::IsWindow(mainWindow)) ? mainWindow : nullptr;
  state.dpi = ScreenDpi();
  state.palette = CurrentDialogPalette();

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
