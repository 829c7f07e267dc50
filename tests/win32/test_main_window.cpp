// The launcher's main window under Wine, read as a screen reader and an eye read it: the status
// line and the bar through their controls and accessible objects, where the status stands, and
// the colours with high contrast off and, through a stand-in probe, switched on while it shows.

#include "platform/win32/Win32Api.h"
#include "platform/win32/MainWindow.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WindowKit.h"
#include "MessagePump.h"
#include "ScreenReader.h"

#include <gtest/gtest.h>

namespace zl::win32 {
namespace {

using namespace zl::win32::testing;

// The main window, shown; its creation tells the program's user interface about it, which the
// test takes back afterwards.
struct ShownMainWindow {
  MainWindow window{Win32Ui()};
  HWND status = nullptr, bar = nullptr;
  ShownMainWindow() {
    if (!window.Create(::GetModuleHandleW(nullptr), L"Zelkora main window test", {})) return;
    status = ::GetDlgItem(window.Handle(), MainWindow::kStatusId);
    bar = ::GetDlgItem(window.Handle(), MainWindow::kProgressId);
    PumpPending();
  }
  ~ShownMainWindow() { Win32Ui().SetMainWindow(nullptr); }
};

RECT ClientPlace(HWND control) {
  RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The text colour and background the window gives its status control.
std::pair<COLORREF, COLORREF> StatusColours(HWND window, HWND status) {
  WindowDc screen(nullptr);
  UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
  ::SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                 reinterpret_cast<LPARAM>(status));
  return {::GetTextColor(dc.Get()), ::GetBkColor(dc.Get())};
}

TEST(MainWindow, AScreenReaderReadsAndHearsTheStatusAndTheProgress) {
  ShownMainWindow shown;
  ASSERT_NE(shown.status, nullptr);
  ASSERT_NE(shown.bar, nullptr);
  ChangeEvents events;
  struct Row {
    const char* label;
    const wchar_t* text;
    double progress;
    int position;
    bool named, valued;
  };
  const Row rows[] = {
      {"first step", L"Checking your computer", 100.0 / 6, 17, true, true},
      {"same again", L"Checking your computer", 100.0 / 6, 17, false, false},
      {"a fraction on", L"Checking your computer", 16.9, 17, false, false},
      {"the last step", L"Launching App", 100, 100, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const int named = events.Count(shown.status, EVENT_OBJECT_NAMECHANGE);
    const int valued = events.Count(shown.bar, EVENT_OBJECT_VALUECHANGE);
    shown.window.SetStatusText(row.text);
    shown.window.SetProgress(row.progress);
    EXPECT_EQ(TextOf(shown.status), row.text);
    EXPECT_EQ(PositionOf(shown.bar), row.position);
    EXPECT_EQ(events.Count(shown.status, EVENT_OBJECT_NAMECHANGE) > named, row.named);
    EXPECT_EQ(events.Count(shown.bar, EVENT_OBJECT_VALUECHANGE) > valued, row.valued);
  }
  const auto bar = ReadAccessible(shown.bar);
  ASSERT_TRUE(bar.has_value());
  EXPECT_EQ(bar->role, ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(bar->value, L"100%");
  const auto status = ReadAccessible(shown.status);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->name, L"Launching App");
}

// The status line stands centred on the label's place (196 x 51 between the logo and the bar),
// however many lines its text takes.
TEST(MainWindow, TheStatusStandsCentredOnItsPlace) {
  ShownMainWindow shown;
  ASSERT_NE(shown.status, nullptr);
  RECT client;
  ::GetClientRect(shown.window.Handle(), &client);
  const int dpi = ScreenDpi();
  const int bandTop = ScaleForDpi(145, dpi), bandBottom = client.bottom - ScaleForDpi(30, dpi);
  const int middleX = client.right / 2, middleY = bandTop + (bandBottom - bandTop) / 2;
  int oneLine = 0;
  for (const wchar_t* text :
       {L"Launching App", L"Checking the server's shared folder and the application"}) {
    SCOPED_TRACE(Narrow(text));
    shown.window.SetStatusText(text);
    const RECT r = ClientPlace(shown.status);
    EXPECT_NEAR((r.left + r.right) / 2, middleX, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, middleY, 1);
    EXPECT_GE(r.right - r.left, ScaleForDpi(196, dpi));
    if (oneLine == 0) {
      oneLine = r.bottom - r.top;
    } else {
      EXPECT_GT(r.bottom - r.top, oneLine) << "a long text wraps";
    }
  }
}

bool highContrast = false;
bool StandInHighContrast() { return highContrast; }

TEST(MainWindow, TakesTheSystemColoursWhileHighContrastIsOn) {
  ShownMainWindow shown;
  ASSERT_NE(shown.status, nullptr);
  shown.window.SetStatusText(L"Launching App");
  shown.window.SetProgress(50);
  const HighContrastProbe before = SetHighContrastProbe(&StandInHighContrast);
  struct Row {
    const char* label;
    bool on;
    COLORREF background, text, fill, track;
  };
  const COLORREF window = ::GetSysColor(COLOR_WINDOW), windowText = ::GetSysColor(COLOR_WINDOWTEXT),
                 highlight = ::GetSysColor(COLOR_HIGHLIGHT);
  const Row rows[] = {
      {"off", false, RGB(0x46, 0x82, 0xB4), RGB(255, 255, 255), RGB(0x06, 0xB0, 0x25),
       RGB(0xE6, 0xE6, 0xE6)},
      {"switched on", true, window, windowText, highlight, window},
      {"switched off again", false, RGB(0x46, 0x82, 0xB4), RGB(255, 255, 255),
       RGB(0x06, 0xB0, 0x25), RGB(0xE6, 0xE6, 0xE6)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    highContrast = row.on;
    ::SendMessageW(shown.window.Handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    ClientImage image(shown.window.Handle());
    EXPECT_EQ(image.At(2, 2), row.background);
    const auto [text, back] = StatusColours(shown.window.Handle(), shown.status);
    EXPECT_EQ(text, row.text);
    EXPECT_EQ(back, row.background);
    const RECT bar = ClientPlace(shown.bar);
    const int y = (bar.top + bar.bottom) / 2;
    EXPECT_EQ(image.At(bar.left + (bar.right - bar.left) / 4, y), row.fill);
    EXPECT_EQ(image.At(bar.left + (bar.right - bar.left) * 3 / 4, y), row.track);
  }
  SetHighContrastProbe(before);
}

}  // namespace
}  // namespace zl::win32
