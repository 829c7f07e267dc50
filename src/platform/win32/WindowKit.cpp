#include "platform/win32/WindowKit.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "platform/win32/ProgressBar.h"
#include "platform/win32/Win32Util.h"

namespace zl::win32 {

namespace {

HighContrastProbe highContrastProbe = nullptr;

bool SystemHighContrast() {
  HIGHCONTRASTW hc;
  ZeroMemory(&hc, sizeof hc);
  hc.cbSize = sizeof hc;
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) != FALSE &&
         (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace

int ScreenDpi() {
  WindowDc screen(nullptr);
  const int dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
  return dpi > 0 ? dpi : 96;
}

UniqueGdi<HFONT> MessageFont(const FontStyle& style) {
  // NONCLIENTMETRICSW as declared for our XP target lacks Vista's iPaddedBorderWidth: that is the
  // size every Windows version accepts.
  NONCLIENTMETRICSW metrics;
  ZeroMemory(&metrics, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  LOGFONTW font;
  ZeroMemory(&font, sizeof font);
  const bool known =
      ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE;
  if (known) font = metrics.lfMessageFont;
  if (style.pixels == 0) {
    if (!known) return UniqueGdi<HFONT>();
  } else {
    font.lfHeight = -style.pixels;
    font.lfWidth = 0;
    font.lfWeight = FW_NORMAL;
  }
  if (style.italic) font.lfItalic = TRUE;
  if (style.underline) font.lfUnderline = TRUE;
  if (style.clearType) font.lfQuality = CLEARTYPE_QUALITY;
  return UniqueGdi<HFONT>(::CreateFontIndirectW(&font));
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  ::SetDCBrushColor(dc, colour);
  ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
}

void PaintProgressBar(HDC dc, const RECT& track, double percent, const BarColours& colours) {
  FillSolid(dc, track, Colour(colours.edge));
  const RECT inner = {track.left + 1, track.top + 1, track.right - 1, track.bottom - 1};
  FillSolid(dc, inner, Colour(colours.track));
  const int filled = static_cast<int>(std::lround((inner.right - inner.left) * percent / 100.0));
  if (filled > 0)
    FillSolid(dc, RECT{inner.left, inner.top, inner.left + filled, inner.bottom},
              Colour(colours.fill));
}

SystemColours SystemColoursNow() {
  SystemColours c;
  c.window = ::GetSysColor(COLOR_WINDOW);
  c.windowText = ::GetSysColor(COLOR_WINDOWTEXT);
  c.highlight = ::GetSysColor(COLOR_HIGHLIGHT);
  c.buttonFace = ::GetSysColor(COLOR_BTNFACE);
  c.buttonText = ::GetSysColor(COLOR_BTNTEXT);
  c.hotLight = ::GetSysColor(COLOR_HOTLIGHT);
  return c;
}

bool HighContrastOn() {
  return highContrastProbe != nullptr ? highContrastProbe() : SystemHighContrast();
}

HighContrastProbe SetHighContrastProbe(HighContrastProbe probe) {
  const HighContrastProbe before = highContrastProbe;
  highContrastProbe = probe;
  return before;
}

LRESULT ControlColours(HDC dc, Rgb text, Rgb background) {
  ::SetTextColor(dc, Colour(text));
  ::SetBkColor(dc, Colour(background));
  ::SetDCBrushColor(dc, Colour(background));
  return reinterpret_cast<LRESULT>(::GetStockObject(DC_BRUSH));
}

void SetControlText(HWND control, const std::wstring& text) {
  if (control == nullptr) return;
  ::SetWindowTextW(control, text.c_str());
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

std::optional<LRESULT> AnswerColours(HWND window, UINT msg, WPARAM wp, Palette& palette,
                                     Palette (*take)(), HWND bar) {
  switch (msg) {
    case WM_CTLCOLORSTATIC:
      return ControlColours(reinterpret_cast<HDC>(wp), palette.text, palette.background);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      palette = take();
      if (bar != nullptr) SetBarColours(bar, palette.bar);
      ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      return std::nullopt;  // the system's own handling goes on
    default:
      return std::nullopt;
  }
}

bool InitCommonControlClasses(DWORD classes) {
  // Looked up rather than imported: only a program that shows these controls loads comctl32
  // (by name, so that the manifest's version 6 wins), and it stays for the controls' lifetime.
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  static const HMODULE comctl = ::LoadLibraryW(L"comctl32.dll");
  const auto init = LookUp<InitFn>(comctl, "InitCommonControlsEx");
  INITCOMMONCONTROLSEX icc = {sizeof icc, classes};
  return init != nullptr && init(&icc) != FALSE;
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC proc, HICON icon, HICON smallIcon) {
  WNDCLASSEXW cls;
  ZeroMemory(&cls, sizeof cls);
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = proc;
  cls.hInstance = ::GetModuleHandleW(nullptr);
  cls.hIcon = icon;
  cls.hIconSm = smallIcon;
  cls.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  cls.lpszClassName = name;
  return ::RegisterClassExW(&cls) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

std::vector<WORD> DialogTemplate(DWORD style, const std::wstring& caption) {
  // The header, then empty menu and class arrays, then the caption.
  std::vector<WORD> tmpl(sizeof(DLGTEMPLATE) / sizeof(WORD) + 2, 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(tmpl.data());
  header->style = style;
  header->cdit = 0;
  tmpl.insert(tmpl.end(), caption.begin(), caption.end());
  tmpl.push_back(0);
  return tmpl;
}

HWND AddControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                const RECT& place, HFONT font) {
  HWND control = ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
                                   place.top, place.right - place.left, place.bottom - place.top,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  if (control != nullptr && font != nullptr)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

int RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff > 0.5) return static_cast<int>(floor) + 1;
  if (diff < 0.5) return static_cast<int>(floor);
  const long f = static_cast<long>(floor);
  return static_cast<int>(f % 2 == 0 ? f : f + 1);
}

POINT CentredPosition(const RECT& window, const RECT& reference) {
  const int width = window.right - window.left, height = window.bottom - window.top;
  const int refWidth = reference.right - reference.left;
  const int refHeight = reference.bottom - reference.top;
  return POINT{reference.left + RoundHalfEven((refWidth - width) / 2.0),
               reference.top + RoundHalfEven((refHeight - height) / 2.0)};
}

void CentreOver(HWND window, HWND reference) {
  if (reference == nullptr || !::IsWindow(reference)) return;
  RECT own = {}, ref = {};
  ::GetWindowRect(window, &own);
  ::GetWindowRect(reference, &ref);
  const POINT at = CentredPosition(own, ref);
  ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace zl::win32
