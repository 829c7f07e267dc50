#include "model/Palette.h"

namespace zl {

namespace {

const Rgb kSteelBlue = MakeRgb(0x46, 0x82, 0xB4);
const Rgb kWhite = MakeRgb(0xFF, 0xFF, 0xFF);
const Rgb kLinkBlue = MakeRgb(0, 0, 0xFF);
const BarColours kGreenBar = {MakeRgb(0xBC, 0xBC, 0xBC), MakeRgb(0xE6, 0xE6, 0xE6),
                              MakeRgb(0x06, 0xB0, 0x25)};

// A colour that would vanish on the background (a scheme whose highlight or hot-track colour is
// its window colour) gives way to the text colour.
Rgb Visible(Rgb colour, Rgb background, Rgb text) { return colour != background ? colour : text; }

// Everything in the user's colours: the bar's track on the background, its edge in the text
// colour, its fill in the highlight; the link in the hot-track colour.
Palette HighContrastPalette(Rgb background, Rgb text, const SystemColours& system) {
  const BarColours bar = {text, background, Visible(system.highlight, background, text)};
  return Palette{background, text, bar, Visible(system.hotLight, background, text)};
}

}  // namespace

Palette MainWindowPalette(bool highContrast, const SystemColours& system) {
  if (!highContrast) return Palette{kSteelBlue, kWhite, kGreenBar, kLinkBlue};
  return HighContrastPalette(system.window, system.windowText, system);
}

Palette DialogPalette(bool highContrast, const SystemColours& system) {
  if (!highContrast) return Palette{system.buttonFace, system.buttonText, kGreenBar, kLinkBlue};
  return HighContrastPalette(system.buttonFace, system.buttonText, system);
}

}  // namespace zl
