#pragma once
// What every window of the launcher takes from user32 and GDI: the screen's DPI, the system's
// message font, the painted progress bar, the window-procedure thunk, in-memory dialog
// templates, child controls, and centring over another window.

#include <optional>
#include <string>
#include <vector>

#include "model/Palette.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"

namespace zl::win32 {

// The screen's logical DPI; 96 when the system does not say.
int ScreenDpi();
// A length laid out at 96 DPI, at dpi.
inline int ScaleForDpi(int pixels, int dpi) { return ::MulDiv(pixels, dpi, 96); }

// The system's message font (Tahoma on XP, Segoe UI later). With pixels 0 it is the system's
// font as it is; otherwise that family at the given height, regular weight.
struct FontStyle {
  int pixels = 0;
  bool italic = false;
  bool underline = false;
  bool clearType = false;
};
UniqueGdi<HFONT> MessageFont(const FontStyle& style = FontStyle());

void FillSolid(HDC dc, const RECT& r, COLORREF colour);

// The launcher's progress bar: a track with a one-pixel edge, filled from the left; percent
// from 0 to 100. Green on light grey unless other colours are given.
void PaintProgressBar(HDC dc, const RECT& track, double percent,
                      const BarColours& colours = MainWindowPalette(false, SystemColours()).bar);

// ---------------------------------------------------------------- colours
inline COLORREF Colour(Rgb rgb) { return static_cast<COLORREF>(rgb); }
SystemColours SystemColoursNow();
// Whether the user has high contrast on (SPI_GETHIGHCONTRAST). Wine cannot switch it on, so a
// test may stand a probe in for the system's answer; nullptr puts the system's back. Answers the
// probe it replaced.
bool HighContrastOn();
using HighContrastProbe = bool (*)();
HighContrastProbe SetHighContrastProbe(HighContrastProbe probe);
// The palettes as the system stands now.
inline Palette CurrentMainWindowPalette() {
  return MainWindowPalette(HighContrastOn(), SystemColoursNow());
}
inline Palette CurrentDialogPalette() {
  return DialogPalette(HighContrastOn(), SystemColoursNow());
}
// The answer to WM_CTLCOLORSTATIC (and WM_CTLCOLORBTN) for a control in these colours: the
// stock DC brush, which no control can delete.
LRESULT ControlColours(HDC dc, Rgb text, Rgb background);
// A window's answer to the colour messages: its static controls in the palette's colours, and
// on a switch of high contrast or of the system's colours while it shows (WM_SETTINGCHANGE,
// WM_SYSCOLORCHANGE) the palette taken again, the bar (when given) recoloured and the window
// repainted with its controls. nullopt for any other message.
std::optional<LRESULT> AnswerColours(HWND window, UINT msg, WPARAM wp, Palette& palette,
                                     Palette (*take)(), HWND bar);

// ---------------------------------------------------------------- controls
// Sets a control's text and tells screen readers its name changed. The system raises the event
// for the window object only (Wine not at all); a static text's accessible object is its client.
void SetControlText(HWND control, const std::wstring& text);

// Registers the common control classes asked for; false when this comctl32 has none of them
// (SysLink needs version 6: decided by the answer, never by the version number).
bool InitCommonControlClasses(DWORD classes);

// Registers a window class of this module; a class already registered is fine. Arrow cursor,
// no background brush (our windows paint themselves).
bool RegisterWindowClass(const wchar_t* name, WNDPROC proc, HICON icon = nullptr,
                         HICON smallIcon = nullptr);

// The window procedure of a window object: the object is handed over in CreateWindowExW's last
// argument and kept in GWLP_USERDATA; its Handle(hwnd, msg, wp, lp) gets every message after.
template <typename Window>
LRESULT CALLBACK WindowProcThunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(hwnd, msg, wp, lp);
}

// An in-memory dialog template without controls (they are made in WM_INITDIALOG, where the font
// and the DPI are known), for DialogBoxIndirectParamW. Vector storage keeps it DWORD-aligned.
std::vector<WORD> DialogTemplate(DWORD style, const std::wstring& caption);

// A visible child control with the given id, place (in pixels) and font (nullptr: the system's).
HWND AddControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                const RECT& place, HFONT font);

// Rounds to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);
// Where a window of the size of window goes to stand centred over reference (screen pixels),
// rounding a half pixel to even.
POINT CentredPosition(const RECT& window, const RECT& reference);
// Moves window to stand centred over reference; nothing when reference is no window.
void CentreOver(HWND window, HWND reference);

}  // namespace zl::win32
