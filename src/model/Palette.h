#pragma once
// The colours the launcher's windows paint with. With high contrast off they are the launcher's
// own (white on steel blue, a green bar, a blue link); with high contrast on every colour is one
// the user chose for the system, so text stays readable on whatever background that is. The
// windows ask again when the user switches.

#include <cstdint>

namespace zl {

// A colour as Windows keeps it: 0x00BBGGRR.
using Rgb = std::uint32_t;
constexpr Rgb MakeRgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }

// The system colours the high-contrast choice takes from.
struct SystemColours {
  Rgb window = 0;      // COLOR_WINDOW
  Rgb windowText = 0;  // COLOR_WINDOWTEXT
  Rgb highlight = 0;   // COLOR_HIGHLIGHT
  Rgb buttonFace = 0;  // COLOR_BTNFACE, the face of dialogs
  Rgb buttonText = 0;  // COLOR_BTNTEXT
  Rgb hotLight = 0;    // COLOR_HOTLIGHT, links
};

struct BarColours {
  Rgb edge = 0, track = 0, fill = 0;
};

struct Palette {
  Rgb background = 0;
  Rgb text = 0;
  BarColours bar;
  Rgb link = 0;
};

// The main window: logo, status line and bar on one background.
Palette MainWindowPalette(bool highContrast, const SystemColours& system);
// The "Installer" and "Information" windows, which stand on the dialog face.
Palette DialogPalette(bool highContrast, const SystemColours& system);

}  // namespace zl
