// The window kit: centring with halves rounded to even, the painted progress bar's fill, the
// message font at a given height, and the selection guard giving the old object back.

#include "platform/win32/WindowKit.h"

#include <gtest/gtest.h>

namespace zl::win32 {
namespace {

TEST(WindowKit, CentresOverTheReferenceRoundingHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);

  // (450 - 101) / 2 = 174.5 -> 174; (250 - 51) / 2 = 99.5 -> 100
  POINT at = CentredPosition(RECT{5, 5, 106, 56}, RECT{100, 200, 550, 450});
  EXPECT_EQ(at.x, 274);
  EXPECT_EQ(at.y, 300);
  at = CentredPosition(RECT{5, 5, 106, 56}, RECT{0, 0, 104, 54});
  EXPECT_EQ(at.x, 2);  // 1.5 -> 2
  EXPECT_EQ(at.y, 2);
}

TEST(WindowKit, CentreOverLeavesAWindowWithoutReferenceWhereItIs) {
  UniqueWindow window(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 5, 7, 100, 50, nullptr,
                                        nullptr, ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(window);
  CentreOver(window.Get(), nullptr);
  RECT r = {};
  ::GetWindowRect(window.Get(), &r);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 7);

  UniqueWindow reference(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 100, 200, 300, 150, nullptr,
                                           nullptr, ::GetModuleHandleW(nullptr), nullptr));
  CentreOver(window.Get(), reference.Get());
  ::GetWindowRect(window.Get(), &r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 250);
  EXPECT_EQ(r.right - r.left, 100);
}

// The bar's edge, its track and the green fill up to the share of the inner width.
TEST(WindowKit, TheProgressBarFillsItsShareOfTheInnerWidth) {
  WindowDc screen(nullptr);
  UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
  UniqueGdi<HBITMAP> bitmap(::CreateCompatibleBitmap(screen.Get(), 102, 10));
  SelectedObject selected(dc.Get(), bitmap.Get());
  const COLORREF edge = RGB(0xBC, 0xBC, 0xBC), track = RGB(0xE6, 0xE6, 0xE6),
                 fill = RGB(0x06, 0xB0, 0x25);
  struct Case {
    double percent;
    int lastGreen;  // x of the last green pixel, 0 for none
  };
  for (const Case& c : {Case{0, 0}, Case{16.67, 17}, Case{50, 50}, Case{100, 100}}) {
    PaintProgressBar(dc.Get(), RECT{0, 0, 102, 10}, c.percent);
    EXPECT_EQ(::GetPixel(dc.Get(), 0, 5), edge) << c.percent;
    EXPECT_EQ(::GetPixel(dc.Get(), 101, 5), edge) << c.percent;
    if (c.lastGreen > 0) {
      EXPECT_EQ(::GetPixel(dc.Get(), c.lastGreen, 5), fill) << c.percent;
    }
    if (c.lastGreen < 100) {
      EXPECT_EQ(::GetPixel(dc.Get(), c.lastGreen + 1, 5), track) << c.percent;
    }
  }
}

TEST(WindowKit, MessageFontAtAHeightAndTheGuardPutsTheOldObjectBack) {
  FontStyle style;
  style.pixels = 24;
  style.italic = true;
  UniqueGdi<HFONT> font = MessageFont(style);
  ASSERT_TRUE(font);
  LOGFONTW lf = {};
  ASSERT_NE(::GetObjectW(font.Get(), sizeof lf, &lf), 0);
  EXPECT_EQ(lf.lfHeight, -24);
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_FALSE(lf.lfUnderline);

  WindowDc screen(nullptr);
  UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
  const HGDIOBJ before = ::GetCurrentObject(dc.Get(), OBJ_FONT);
  {
    SelectedObject selected(dc.Get(), font.Get());
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), font.Get());
  }
  EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), before);
}

}  // namespace
}  // namespace zl::win32
