// The colours the windows paint with, with high contrast off and on.

#include "model/Palette.h"

#include <gtest/gtest.h>

namespace zl {
namespace {

// A dark scheme as the system gives it: every colour distinct.
SystemColours DarkScheme() {
  SystemColours s;
  s.window = MakeRgb(0, 0, 0);
  s.windowText = MakeRgb(0xFF, 0xFF, 0xFF);
  s.highlight = MakeRgb(0x1A, 0xEB, 0xFF);
  s.buttonFace = MakeRgb(0x20, 0x20, 0x20);
  s.buttonText = MakeRgb(0xFF, 0xFF, 0x00);
  s.hotLight = MakeRgb(0x75, 0x75, 0xFF);
  return s;
}

TEST(Palette, WithHighContrastOffTheLaunchersOwnColoursStay) {
  for (const SystemColours& system : {SystemColours(), DarkScheme()}) {
    const Palette main = MainWindowPalette(false, system);
    EXPECT_EQ(main.background, MakeRgb(0x46, 0x82, 0xB4));
    EXPECT_EQ(main.text, MakeRgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(main.bar.fill, MakeRgb(0x06, 0xB0, 0x25));
    EXPECT_EQ(main.bar.track, MakeRgb(0xE6, 0xE6, 0xE6));
    EXPECT_EQ(main.bar.edge, MakeRgb(0xBC, 0xBC, 0xBC));
    // The dialogs stand on the system's face with its text, as they always did.
    const Palette dialog = DialogPalette(false, system);
    EXPECT_EQ(dialog.background, system.buttonFace);
    EXPECT_EQ(dialog.text, system.buttonText);
    EXPECT_EQ(dialog.bar.fill, MakeRgb(0x06, 0xB0, 0x25));
    EXPECT_EQ(dialog.link, MakeRgb(0, 0, 0xFF));
  }
}

TEST(Palette, WithHighContrastOnEveryColourIsTheUsersAndStaysVisible) {
  const SystemColours dark = DarkScheme();
  const Palette main = MainWindowPalette(true, dark);
  EXPECT_EQ(main.background, dark.window);
  EXPECT_EQ(main.text, dark.windowText);
  EXPECT_EQ(main.bar.track, dark.window);
  EXPECT_EQ(main.bar.edge, dark.windowText);
  EXPECT_EQ(main.bar.fill, dark.highlight);
  const Palette dialog = DialogPalette(true, dark);
  EXPECT_EQ(dialog.background, dark.buttonFace);
  EXPECT_EQ(dialog.text, dark.buttonText);
  EXPECT_EQ(dialog.bar.track, dark.buttonFace);
  EXPECT_EQ(dialog.bar.fill, dark.highlight);
  EXPECT_EQ(dialog.link, dark.hotLight);

  // A scheme whose highlight and hot-track colours are its background: the fill and the link
  // take the text colour rather than vanish.
  SystemColours flat = dark;
  flat.highlight = flat.hotLight = flat.window;
  const Palette flatMain = MainWindowPalette(true, flat);
  EXPECT_EQ(flatMain.bar.fill, flat.windowText);
  EXPECT_EQ(flatMain.link, flat.windowText);
  flat.highlight = flat.hotLight = flat.buttonFace;
  const Palette flatDialog = DialogPalette(true, flat);
  EXPECT_EQ(flatDialog.bar.fill, flat.buttonText);
  EXPECT_EQ(flatDialog.link, flat.buttonText);
}

}  // namespace
}  // namespace zl
