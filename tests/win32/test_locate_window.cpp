// The "Information" window and the file-open dialog under Wine, shown on a worker thread while
// the test's main thread pumps and presses their buttons the way the window driver does.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/LocateProgramWindow.h"
#include "platform/win32/Win32UserInterface.h"
#include "MessagePump.h"
#include "OwnProcess.h"
#include "discovery/LocateProgramForm.h"
#include "platform/win32/WindowKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zl::win32 {
namespace {

using namespace zl::win32::testing;

HWND WaitForTop(const std::wstring& caption) {
  HWND found = nullptr;
  PumpUntil([&] {
    found = ::FindWindowW(nullptr, caption.c_str());
    return found != nullptr && ::IsWindowVisible(found);
  });
  return found;
}

std::wstring TextOf(HWND w) {
  wchar_t buffer[1024];
  const int n = ::GetWindowTextW(w, buffer, 1024);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// A control's rectangle in its parent's client area.
RECT ClientRectOf(HWND control) {
  RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font = {};
  auto handle = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  if (handle != nullptr) ::GetObjectW(handle, sizeof font, &font);
  return font;
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

// Something a worker runs while the main thread pumps; the result is read after done is set.
template <typename T>
struct WorkerRun {
  UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::optional<T> result;
};

template <typename T, typename Body>
std::shared_ptr<WorkerRun<T>> OnWorker(Win32UserInterface& ui, Body body) {
  auto run = std::make_shared<WorkerRun<T>>();
  ui.StartThread([run, body] {
    run->result = body();
    ::SetEvent(run->done.Get());
  });
  return run;
}

// Waits for the worker's window to end; one left open by a failed check is closed so that the
// worker never outlives the test's objects.
template <typename T>
bool Finish(const WorkerRun<T>& run, const std::wstring& caption) {
  if (PumpUntil([&] { return ::WaitForSingleObject(run.done.Get(), 0) == WAIT_OBJECT_0; }))
    return true;
  if (HWND stuck = ::FindWindowW(nullptr, caption.c_str())) ::PostMessageW(stuck, WM_CLOSE, 0, 0);
  PumpUntil([&] { return ::WaitForSingleObject(run.done.Get(), 0) == WAIT_OBJECT_0; }, 5000);
  return false;
}

// The texts the launcher's logic gives the window (checked word for word by the unit tests).
const std::vector<std::wstring> kLabels = LocateProgramForm::Labels();

LocateProgramFormContent Content(const std::wstring& caption, std::atomic<int>* clicks) {
  LocateProgramFormContent content;
  content.caption = caption;
  content.labels = kLabels;
  content.link = L"https://help.example.invalid/zelkora-launcher";
  content.nextCaption = L"Next";
  if (clicks != nullptr) content.onLinkClick = [clicks] { ++*clicks; };
  return content;
}

// A stand-in for the launcher's main window, on the test's main thread.
UniqueWindow MainStandIn(int x, int y, int w, int h) {
  return UniqueWindow(::CreateWindowExW(0, L"STATIC", L"Zelkora main stand-in",
                                        WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, x, y, w, h,
                                        nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
}

// The control with the keyboard focus in another thread's window.
HWND FocusOf(HWND form) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info);
  return info.hwndFocus;
}

// How many pixels of the control's client area are exactly colour, as it prints itself.
int PixelsOf(HWND control, COLORREF colour) {
  RECT r;
  ::GetClientRect(control, &r);
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, r.right, r.bottom);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  int count = 0;
  for (int y = 0; y < r.bottom; ++y)
    for (int x = 0; x < r.right; ++x) count += ::GetPixel(dc, x, y) == colour ? 1 : 0;
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return count;
}

// ---------------------------------------------------------------- the information window

TEST(LocateWindow, EveryWayOutAnswersWhetherToProceed) {
  enum class Act { Next, Enter, Escape, Close };
  struct Row {
    const char* label;
    Act act;
    bool withMain;
    bool expected;
  };
  const Row rows[] = {
      {"Next", Act::Next, true, true},
      {"Enter", Act::Enter, true, true},
      {"Escape", Act::Escape, true, false},
      {"close box", Act::Close, true, false},
      {"close box, no main window", Act::Close, false, false},
      {"Next, no main window", Act::Next, false, true},
  };
  Win32UserInterface ui;
  UniqueWindow main = MainStandIn(40, 30, 700, 500);
  ASSERT_TRUE(main);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ui.SetMainWindow(row.withMain ? main.Get() : nullptr);
    const std::wstring caption =
        L"Information " + std::wstring(row.label, row.label + strlen(row.label));
    const LocateProgramFormContent content = Content(caption, nullptr);
    auto run = OnWorker<bool>(ui, [&ui, content] { return ui.ShowLocateProgramForm(content); });
    HWND form = WaitForTop(caption);
    ASSERT_NE(form, nullptr);
    // Modal: the main window takes no input while the form shows.
    EXPECT_EQ(!row.withMain, ::IsWindowEnabled(main.Get()) != FALSE);
    HWND next = ::GetDlgItem(form, locate_ids::kNext);
    switch (row.act) {
      case Act::Next:
        ::PostMessageW(next, BM_CLICK, 0, 0);
        break;
      case Act::Enter:
      case Act::Escape: {
        const WPARAM key = row.act == Act::Enter ? VK_RETURN : VK_ESCAPE;
        ::PostMessageW(next, WM_KEYDOWN, key, 0);
        ::PostMessageW(next, WM_KEYUP, key, 0xC0000000);
        break;
      }
      case Act::Close:
        ::PostMessageW(form, WM_CLOSE, 0, 0);
        break;
    }
    ASSERT_TRUE(Finish(*run, caption));
    ASSERT_TRUE(run->result.has_value());
    EXPECT_EQ(row.expected, *run->result);
    EXPECT_FALSE(::IsWindow(form));
    EXPECT_TRUE(::IsWindowEnabled(main.Get()));
  }
  ui.SetMainWindow(nullptr);
}

TEST(LocateWindow, LaysOutTextsFontsAndPlacesAsDesigned) {
  const int dpi = ScreenDpi();
  if (dpi != 96) GTEST_SKIP() << "layout is checked at 96 DPI; this display has " << dpi;
  Win32UserInterface ui;
  const std::wstring caption = L"Information";
  std::atomic<int> clicks{0};
  const LocateProgramFormContent content = Content(caption, &clicks);
  auto run = OnWorker<bool>(ui, [&ui, content] { return ui.ShowLocateProgramForm(content); });
  HWND form = WaitForTop(caption);
  ASSERT_NE(form, nullptr);

  RECT client;
  ::GetClientRect(form, &client);
  EXPECT_EQ(470, client.right);
  EXPECT_EQ(211, client.bottom);
  const LONG style = ::GetWindowLongW(form, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

  struct Expect {
    const char* label;
    int id;
    std::wstring text;
    RECT place;  // left, top, right, bottom
    bool italic, underline;
  };
  const Expect expected[] = {
      {"Label1", locate_ids::kLabel1 + 0, kLabels[0], {64, 4, 445, 49}, false, false},
      {"Label2", locate_ids::kLabel1 + 1, kLabels[1], {36, 71, 449, 92}, false, false},
      {"Label3", locate_ids::kLabel1 + 2, kLabels[2], {36, 91, 449, 106}, true, false},
      {"Label4", locate_ids::kLabel1 + 3, kLabels[3], {36, 108, 449, 123}, true, false},
      {"Label5", locate_ids::kLabel1 + 4, kLabels[4], {36, 128, 449, 153}, false, false},
      {"Label6", locate_ids::kLabel1 + 5, kLabels[5], {64, 48, 449, 63}, false, false},
      {"lblLink", locate_ids::kLink, content.link, {36, 148, 453, 163}, false, true},
      {"Button1", locate_ids::kNext, L"Next", {368, 178, 448, 200}, false, false},
      {"image", locate_ids::kImage, L"", {12, 12, 62, 65}, false, false},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.label);
    HWND control = ::GetDlgItem(form, e.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(Narrow(e.text), Narrow(TextOf(control)));
    const RECT r = ClientRectOf(control);
    EXPECT_EQ(e.place.left, r.left);
    EXPECT_EQ(e.place.top, r.top);
    EXPECT_EQ(e.place.right, r.right);
    EXPECT_EQ(e.place.bottom, r.bottom);
    if (e.id == locate_ids::kImage) {
      // The picture takes neither focus nor clicks.
      const LONG controlStyle = ::GetWindowLongW(control, GWL_STYLE);
      EXPECT_FALSE(controlStyle & (WS_TABSTOP | SS_NOTIFY));
      continue;
    }
    const LOGFONTW font = FontOf(control);
    EXPECT_EQ(-12, font.lfHeight);
    EXPECT_EQ(e.italic, font.lfItalic != 0);
    EXPECT_EQ(e.underline, font.lfUnderline != 0);
  }

  // The link calls back on every click and the window stays.
  HWND link = ::GetDlgItem(form, locate_ids::kLink);
  for (int i = 1; i <= 2; ++i) {
    ::PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(PumpUntil([&] { return clicks.load() == i; })) << "click " << i;
  }
  EXPECT_TRUE(::IsWindowVisible(form));
  ::PostMessageW(::GetDlgItem(form, locate_ids::kNext), BM_CLICK, 0, 0);
  ASSERT_TRUE(Finish(*run, caption));
  EXPECT_EQ(std::optional<bool>(true), run->result);
}

bool AlwaysHighContrast() { return true; }
bool NeverHighContrast() { return false; }

// Both kinds of link control (SysLink, and the button drawn as a link where comctl32 has none),
// driven by keys posted to the control with the focus, as the dialog's own loop takes them.
TEST(LocateWindow, KeyboardReachesTheLinkWhichOpensOncePerKeyAndFollowsHighContrast) {
  struct Step {
    const char* label;
    WPARAM key;
    int focusAfter;  // 0: the window has closed
    int clicksAfter;
  };
  const Step steps[] = {
      {"Tab to the link", VK_TAB, locate_ids::kLink, 0},
      {"Enter on the link", VK_RETURN, locate_ids::kLink, 1},
      {"Space on the link", VK_SPACE, locate_ids::kLink, 2},
      {"Tab round to Next", VK_TAB, locate_ids::kNext, 2},
      {"Enter on Next", VK_RETURN, 0, 2},
  };
  const COLORREF blue = RGB(0, 0, 255);
  const HighContrastProbe before = SetHighContrastProbe(&AlwaysHighContrast);
  const COLORREF highContrast = Colour(CurrentDialogPalette().link);
  ASSERT_NE(blue, highContrast) << "the test needs a hot-track colour other than blue";
  Win32UserInterface ui;
  for (bool sysLink : {true, false}) {
    SCOPED_TRACE(sysLink ? "SysLink" : "button");
    AllowSysLinkForLocateWindow(sysLink);
    SetHighContrastProbe(&NeverHighContrast);
    const std::wstring caption = L"Information keyboard " + std::to_wstring(sysLink);
    std::atomic<int> clicks{0};
    const LocateProgramFormContent content = Content(caption, &clicks);
    auto run = OnWorker<bool>(ui, [&ui, content] { return ui.ShowLocateProgramForm(content); });
    HWND form = WaitForTop(caption);
    ASSERT_NE(form, nullptr);
    HWND link = ::GetDlgItem(form, locate_ids::kLink);
    wchar_t cls[32] = {};
    ::GetClassNameW(link, cls, 32);
    EXPECT_EQ(sysLink ? "SysLink" : "Button", Narrow(cls));

    // The colour follows a switch while the window is open.
    EXPECT_GT(PixelsOf(link, blue), 0);
    EXPECT_EQ(0, PixelsOf(link, highContrast));
    SetHighContrastProbe(&AlwaysHighContrast);
    ::SendMessageW(form, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_EQ(0, PixelsOf(link, blue));
    EXPECT_GT(PixelsOf(link, highContrast), 0);

    EXPECT_TRUE(PumpUntil([&] { return FocusOf(form) == ::GetDlgItem(form, IDOK); }));
    for (const Step& step : steps) {
      SCOPED_TRACE(step.label);
      // Next stays the default button wherever the focus is.
      EXPECT_EQ(MAKELRESULT(IDOK, DC_HASDEFID), ::SendMessageW(form, DM_GETDEFID, 0, 0));
      HWND target = FocusOf(form);
      ::PostMessageW(target, WM_KEYDOWN, step.key, 1);
      if (step.key == VK_SPACE) ::PostMessageW(target, WM_CHAR, L' ', 1);
      ::PostMessageW(target, WM_KEYUP, step.key, 0xC0000001);
      const bool reached = PumpUntil([&] {
        const bool there = step.focusAfter == 0
                               ? !::IsWindow(form)
                               : FocusOf(form) == ::GetDlgItem(form, step.focusAfter);
        return there && clicks.load() == step.clicksAfter;
      });
      EXPECT_TRUE(reached) << "clicks " << clicks.load();
      if (!reached) break;
    }
    ASSERT_TRUE(Finish(*run, caption));
    EXPECT_EQ(std::optional<bool>(true), run->result);
    EXPECT_EQ(2, clicks.load());
  }
  AllowSysLinkForLocateWindow(true);
  SetHighContrastProbe(before);
}

TEST(LocateWindow, CentresOverTheMainWindow) {
  Win32UserInterface ui;
  // Widths of both parities, so that one of them centres on a half pixel.
  const int widths[] = {701, 702};
  for (int width : widths) {
    SCOPED_TRACE(width);
    UniqueWindow main = MainStandIn(37, 21, width, 481);
    ASSERT_TRUE(main);
    ui.SetMainWindow(main.Get());
    const std::wstring caption = L"Information centred " + std::to_wstring(width);
    const LocateProgramFormContent content = Content(caption, nullptr);
    auto run = OnWorker<bool>(ui, [&ui, content] { return ui.ShowLocateProgramForm(content); });
    HWND form = WaitForTop(caption);
    ASSERT_NE(form, nullptr);
    RECT m, f;
    ::GetWindowRect(main.Get(), &m);
    ::GetWindowRect(form, &f);
    const int mw = m.right - m.left, mh = m.bottom - m.top;
    const int fw = f.right - f.left, fh = f.bottom - f.top;
    EXPECT_EQ(m.left + RoundHalfEven((mw - fw) / 2.0), f.left);
    EXPECT_EQ(m.top + RoundHalfEven((mh - fh) / 2.0), f.top);
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Finish(*run, caption));
    ui.SetMainWindow(nullptr);
  }
}

TEST(LocateWindow, ErrorOfTheLinkHandlerClosesTheWindowAndComesBack) {
  Win32UserInterface ui;
  const std::wstring caption = L"Information failing link";
  LocateProgramFormContent content = Content(caption, nullptr);
  content.onLinkClick = [] { throw LauncherError(L"link failed"); };
  auto run = OnWorker<std::wstring>(ui, [&ui, content] {
    try {
      ui.ShowLocateProgramForm(content);
      return std::wstring(L"returned");
    } catch (const LauncherError& e) {
      return e.Message();
    }
  });
  HWND form = WaitForTop(caption);
  ASSERT_NE(form, nullptr);
  HWND link = ::GetDlgItem(form, locate_ids::kLink);
  ::PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(Finish(*run, caption));
  EXPECT_EQ(std::optional<std::wstring>(L"link failed"), run->result);
}

// ---------------------------------------------------------------- the file-open dialog

// The file name box: ComboBoxEx32 (id 1148) > ComboBox > Edit in Wine's explorer-style dialog.
HWND FileNameEdit(HWND dialog) {
  HWND ex = ::GetDlgItem(dialog, 1148);
  HWND combo = ex != nullptr ? ::FindWindowExW(ex, nullptr, L"ComboBox", nullptr) : nullptr;
  HWND edit = combo != nullptr ? ::FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
  if (edit == nullptr) edit = ::GetDlgItem(dialog, 1152);  // the older plain edit box
  return edit;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, n);
}

// Wine's comdlg32 leaves comctl32 and uxtheme loaded, after which Wine's task dialog no longer
// centres itself on the screen (a later test of the message dialogs sees that); the dialog is
// therefore tested in a process of its own: this test starts the test program again for itself.
TEST(OpenFileDialog, CancelAnswersNothingAndOkAnswersTheChosenPath) {
  if (!InOwnProcess()) {
    EXPECT_EQ(0u, RunAlone("OpenFileDialog.CancelAnswersNothingAndOkAnswersTheChosenPath"))
        << "the test failed in its own process (its output is above)";
    return;
  }
  // A folder of its own, so the initial folder shows in the answer to a bare file name.
  const std::wstring folder =
      TempFolder() + L"zl-open-dialog-" + std::to_wstring(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) ||
              ::GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring file = folder + L"\\VELMONT.EXE";
  UniqueHandle created(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(created);
  created.Close();

  struct Row {
    const char* label;
    const wchar_t* typed;  // nullptr: press Cancel
    std::optional<std::wstring> expected;
  };
  const Row rows[] = {
      {"cancel", nullptr, std::nullopt},
      {"bare name in the initial folder", L"VELMONT.EXE", file},
      {"full path", file.c_str(), file},
  };
  Win32UserInterface ui;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    OpenFileDialogRequest request;
    request.title =
        L"Select your executable: " + std::wstring(row.label, row.label + strlen(row.label));
    request.filterName = L"Executable Files (*.exe)";
    request.filterPattern = L"*.exe";
    request.initialDir = folder;
    auto run = OnWorker<std::optional<std::wstring>>(
        ui, [&ui, request] { return ui.ShowOpenFileDialog(request); });
    HWND dialog = WaitForTop(request.title);
    ASSERT_NE(dialog, nullptr);

    // The one filter entry, by its name.
    HWND types = ::GetDlgItem(dialog, 1136);
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(1, ::SendMessageW(types, CB_GETCOUNT, 0, 0));
    wchar_t entry[256] = {};
    ::SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ("Executable Files (*.exe)", Narrow(entry));

    if (row.typed == nullptr) {
      ::PostMessageW(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    } else {
      HWND edit = FileNameEdit(dialog);
      ASSERT_NE(edit, nullptr);
      ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(row.typed));
      ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    }
    ASSERT_TRUE(Finish(*run, request.title));
    ASSERT_TRUE(run->result.has_value());
    const std::optional<std::wstring>& answer = *run->result;
    EXPECT_EQ(row.expected.has_value(), answer.has_value());
    if (row.expected && answer) {
      EXPECT_EQ(Narrow(*row.expected), Narrow(*answer));
    }
  }
  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace zl::win32
