// The "Installer" window under Wine: shown modally from this (the main) thread, driven by a
// worker that hands its steps over with RunOnMainThread as the download thread does. Layout,
// styles, ownership, painting, what a screen reader reads and hears, activation, and the end of
// the modal showing.
// DownloadBench (skipped unless ZL_BENCH_URL is set) measures the whole download path; see
// scripts/bench_download.py.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/InstallerWindow.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Http.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32UserInterface.h"
#include "platform/win32/WindowKit.h"
#include "MessagePump.h"
#include "ScreenReader.h"
#include "prerequisites/InstallerForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace zl::win32 {
namespace {

using namespace zl::win32::testing;

UniqueHandle NewEvent() { return UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

int Scale(int pixels) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return ::MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

// A showing that never closes would hang the run: after the bound a thread timer posts WM_QUIT,
// which ends the modal loop (it posts the quit again; the guard takes it away afterwards).
class Watchdog {
 public:
  Watchdog() : id_(::SetTimer(nullptr, 0, kBound, &Watchdog::Fire)) { fired_ = false; }
  ~Watchdog() {
    ::KillTimer(nullptr, id_);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  static bool Fired() { return fired_; }

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
    fired_ = true;
    ::PostQuitMessage(3);
  }
  static inline bool fired_ = false;
  UINT_PTR id_;
};

// Shows the window; on its first activation a worker hands each step to the main thread in turn,
// as the download thread hands over its reports. The steps are expected to end with Close.
struct Scenario {
  using Step = std::function<void(InstallerWindow&)>;
  std::vector<Step> steps;
  std::function<void(InstallerWindow&)> onEachActivation;
  int activations = 0;
  HWND hwnd = nullptr;

  void Show(Win32UserInterface& ui) {
    UniqueHandle done = NewEvent();
    InstallerWindow* window = nullptr;  // main thread only; null once the showing is over
    bool started = false;
    {
      Watchdog watchdog;
      ui.ShowInstallerWindow([&](IInstallerWindow& w) {
        ++activations;
        auto& iw = dynamic_cast<InstallerWindow&>(w);
        if (onEachActivation) onEachActivation(iw);
        if (activations != 1) return;
        window = &iw;
        hwnd = iw.Handle();
        started = true;
        ui.StartThread([&] {
          for (const Step& step : steps)
            ui.RunOnMainThread([&] {
              if (window != nullptr) step(*window);
            });
          ::SetEvent(done.Get());
        });
      });
      window = nullptr;
      EXPECT_FALSE(Watchdog::Fired()) << "the window did not close within the bound";
    }
    if (started) {
      EXPECT_TRUE(PumpUntilSignalled(done.Get())) << "the worker did not end";
    }
  }
};

RECT StatusRect() { return RECT{Scale(4), Scale(4), Scale(289), Scale(19)}; }
RECT BarRect() { return RECT{Scale(4), Scale(20), Scale(289), Scale(45)}; }

// The bar's inner colour at a share of its width.
COLORREF BarAt(const ClientImage& image, double share) {
  const RECT bar = BarRect();
  const int x = bar.left + 1 + static_cast<int>((bar.right - bar.left - 2) * share);
  return image.At(x, (bar.top + bar.bottom) / 2);
}

UniqueWindow NewTopLevel(const wchar_t* caption, int x, int y, int w, int h) {
  return UniqueWindow(::CreateWindowExW(0, L"STATIC", caption, WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                        x, y, w, h, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                        nullptr));
}

TEST(InstallerWindow, ShowsModallyOverItsOwnerAndPaintsTheReports) {
  for (bool withOwner : {true, false}) {
    SCOPED_TRACE(withOwner ? "owned by the main window" : "no main window");
    Win32UserInterface ui;
    UniqueWindow owner;
    if (withOwner) {
      owner = NewTopLevel(L"Zelkora main stand-in", 137, 91, 450, 280);
      ASSERT_TRUE(owner.Valid());
      ui.SetMainWindow(owner.Get());
    }
    bool closedHandlerDone = false;
    Scenario s;
    s.steps.push_back([&](InstallerWindow& w) {
      HWND hwnd = w.Handle();
      wchar_t caption[64] = {};
      ::GetWindowTextW(hwnd, caption, 64);
      EXPECT_STREQ(caption, L"Installer");
      RECT client;
      ::GetClientRect(hwnd, &client);
      EXPECT_EQ(client.right, Scale(294));
      EXPECT_EQ(client.bottom, Scale(51));
      const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
      EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
      EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
      EXPECT_NE(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
      EXPECT_TRUE(::IsWindowVisible(hwnd));
      EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), owner.Get());
      if (withOwner) {
        EXPECT_FALSE(::IsWindowEnabled(owner.Get())) << "not modal";
        RECT mine, theirs;
        ::GetWindowRect(hwnd, &mine);
        ::GetWindowRect(owner.Get(), &theirs);
        EXPECT_NEAR(mine.left + mine.right, theirs.left + theirs.right, 2);
        EXPECT_NEAR(mine.top + mine.bottom, theirs.top + theirs.bottom, 2);
      }
      // Before the first report: no text, the bar at half.
      EXPECT_EQ(PositionOf(::GetDlgItem(hwnd, InstallerWindow::kProgressId)), 50);
      ClientImage image(hwnd);
      EXPECT_TRUE(image.Blank(StatusRect()));
      EXPECT_NE(BarAt(image, 0.45), BarAt(image, 0.55));
      EXPECT_EQ(BarAt(image, 0.05), BarAt(image, 0.45));
      EXPECT_EQ(BarAt(image, 0.55), BarAt(image, 0.95));
    });
    s.steps.push_back([&](InstallerWindow& w) {
      w.SetStatusText(L"Downloading BarCode Fonts Installer.msi");
      w.SetProgress(25.9);
      EXPECT_EQ(TextOf(::GetDlgItem(w.Handle(), InstallerWindow::kStatusId)),
                L"Downloading BarCode Fonts Installer.msi");
      HWND bar = ::GetDlgItem(w.Handle(), InstallerWindow::kProgressId);
      EXPECT_EQ(PositionOf(bar), 25);
      if (const auto read = ReadAccessible(bar)) {
        EXPECT_EQ(read->role, ROLE_SYSTEM_PROGRESSBAR);
        EXPECT_EQ(read->value, L"25%");
      }
      ClientImage image(w.Handle());
      EXPECT_FALSE(image.Blank(StatusRect())) << "status text not painted";
      EXPECT_EQ(BarAt(image, 0.20), BarAt(image, 0.05));
      EXPECT_NE(BarAt(image, 0.30), BarAt(image, 0.20));
      EXPECT_EQ(BarAt(image, 0.30), BarAt(image, 0.95));
    });
    s.steps.push_back([&](InstallerWindow& w) {
      w.SetProgress(100);
      ClientImage image(w.Handle());
      EXPECT_EQ(BarAt(image, 0.995), BarAt(image, 0.01));
    });
    s.steps.push_back([&](InstallerWindow& w) {
      // The final report: hide, run the installer (the modal showing goes on), close.
      HWND hwnd = w.Handle();
      w.Hide();
      EXPECT_FALSE(::IsWindowVisible(hwnd));
      if (withOwner) {
        EXPECT_FALSE(::IsWindowEnabled(owner.Get()));
      }
      w.Close();
      EXPECT_TRUE(::IsWindow(hwnd)) << "gone before the closing handler returned";
      // An installer's wait pumps messages after Close; the showing must still end.
      PumpPending();
      w.SetStatusText(L"late");
      closedHandlerDone = true;
    });
    s.Show(ui);
    EXPECT_TRUE(closedHandlerDone);
    EXPECT_EQ(s.activations, 1);
    EXPECT_FALSE(::IsWindow(s.hwnd));
    if (withOwner) {
      EXPECT_TRUE(::IsWindowEnabled(owner.Get()));
    }
  }
}

// The downloader reports a few times a second: only a change a screen reader can tell (another
// whole percent, another text) reaches the controls and raises their change events.
TEST(InstallerWindow, OnlyAChangeReachesTheControlsAndIsAnnounced) {
  Win32UserInterface ui;
  Scenario s;
  s.steps.push_back([&](InstallerWindow& w) {
    HWND status = ::GetDlgItem(w.Handle(), InstallerWindow::kStatusId);
    HWND bar = ::GetDlgItem(w.Handle(), InstallerWindow::kProgressId);
    ChangeEvents events;
    ASSERT_TRUE(events.Hooked());
    struct Row {
      const char* label;
      std::function<void()> act;
      bool named, valued;  // a name change, a value change
      int position;
      const wchar_t* text;
    };
    const Row table[] = {
        {"same whole percent", [&] { w.SetProgress(50.99); }, false, false, 50, L""},
        {"same (empty) text", [&] { w.SetStatusText(L""); }, false, false, 50, L""},
        {"next percent", [&] { w.SetProgress(51.0); }, false, true, 51, L""},
        {"a fraction more", [&] { w.SetProgress(51.7); }, false, false, 51, L""},
        {"text", [&] { w.SetStatusText(L"Downloading x.msi"); }, true, false, 51,
         L"Downloading x.msi"},
        {"same text again", [&] { w.SetStatusText(L"Downloading x.msi"); }, false, false, 51,
         L"Downloading x.msi"},
        {"no length known", [&] { w.SetProgress(0); }, false, true, 0, L"Downloading x.msi"},
        {"beyond the end", [&] { w.SetProgress(250); }, false, true, 100, L"Downloading x.msi"},
        {"below zero", [&] { w.SetProgress(-3); }, false, true, 0, L"Downloading x.msi"},
    };
    for (const Row& row : table) {
      SCOPED_TRACE(row.label);
      const int named = events.Count(status, EVENT_OBJECT_NAMECHANGE);
      const int valued = events.Count(bar, EVENT_OBJECT_VALUECHANGE);
      row.act();
      EXPECT_EQ(events.Count(status, EVENT_OBJECT_NAMECHANGE) > named, row.named);
      EXPECT_EQ(events.Count(bar, EVENT_OBJECT_VALUECHANGE) > valued, row.valued);
      EXPECT_EQ(PositionOf(bar), row.position);
      EXPECT_EQ(TextOf(status), row.text);
    }
    w.Close();
  });
  s.Show(ui);
}

bool highContrast = false;
bool StandInHighContrast() { return highContrast; }

// Switched while the window shows: the bar takes the highlight on the face, and back.
TEST(InstallerWindow, FollowsHighContrastWhileItShows) {
  Win32UserInterface ui;
  const HighContrastProbe before = SetHighContrastProbe(&StandInHighContrast);
  Scenario s;
  s.steps.push_back([&](InstallerWindow& w) {
    const COLORREF green = RGB(0x06, 0xB0, 0x25), highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    for (bool on : {true, false}) {
      SCOPED_TRACE(on ? "on" : "off");
      highContrast = on;
      ::SendMessageW(w.Handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
      ClientImage image(w.Handle());
      EXPECT_EQ(BarAt(image, 0.25), on ? highlight : green);
      EXPECT_EQ(image.At(1, 1), ::GetSysColor(COLOR_BTNFACE));
    }
    w.Close();
  });
  s.Show(ui);
  SetHighContrastProbe(before);
}

TEST(InstallerWindow, EachActivationCallsOnActivateAgain) {
  Win32UserInterface ui;
  UniqueWindow other;
  int before = -1, after = -1;
  Scenario s;
  s.steps.push_back([&](InstallerWindow& w) {
    other = NewTopLevel(L"Zelkora another window", 10, 10, 200, 100);
    before = s.activations;
    ::SetActiveWindow(other.Get());
    ::SetActiveWindow(w.Handle());
    after = s.activations;
    w.Close();
  });
  s.Show(ui);
  EXPECT_GE(before, 1);
  EXPECT_EQ(after, before + 1);
}

TEST(InstallerWindow, AnErrorOfOnActivateEndsTheShowingAndIsRaised) {
  Win32UserInterface ui;
  UniqueWindow owner = NewTopLevel(L"Zelkora main stand-in", 100, 100, 300, 200);
  ui.SetMainWindow(owner.Get());
  try {
    ui.ShowInstallerWindow([](IInstallerWindow&) { throw LauncherError(L"no temporary name"); });
    ADD_FAILURE() << "nothing raised";
  } catch (const LauncherError& e) {
    EXPECT_EQ(e.Message(), L"no temporary name");
  }
  EXPECT_TRUE(::IsWindowEnabled(owner.Get()));
  EXPECT_EQ(::FindWindowW(kInstallerWindowClass, nullptr), nullptr);
}

// ---------------------------------------------------------------- benchmark

// The whole download path: InstallerForm shows the window, its downloader fetches
// ZL_BENCH_URL through Win32Http on its own thread and reports every chunk to the main thread.
// Meanwhile a probe thread sends a message to the window every 10 ms; the longest round trip is
// how long the main thread was unresponsive. Prints figures, asserts only that it worked.
TEST(DownloadBench, InstallerWindowThroughputAndResponsiveness) {
  const char* url = std::getenv("ZL_BENCH_URL");
  if (url == nullptr) GTEST_SKIP() << "ZL_BENCH_URL not set";
  const std::string narrowUrl = url;
  const std::wstring wideUrl(narrowUrl.begin(), narrowUrl.end());

  // The real adapter, timed from the request to the last byte and its report.
  struct TimedHttp : IHttp {
    Win32Http real;
    LARGE_INTEGER start = {}, end = {};
    HttpResponse Get(const std::wstring& u, IWriteStream& target,
                     const HttpCallbacks& callbacks) override {
      ::QueryPerformanceCounter(&start);
      HttpResponse r = real.Get(u, target, callbacks);
      ::QueryPerformanceCounter(&end);
      return r;
    }
  };
  Win32UserInterface ui;
  Win32FileSystem files;
  Win32System system;
  TimedHttp http;
  PlatformServices services;
  services.files = &files;
  services.system = &system;
  services.ui = &ui;
  services.http = &http;

  struct Probe {
    std::atomic<bool> stop{false};
    std::atomic<double> longestMs{0};
    std::atomic<int> samples{0};
  };
  // The launcher's main window is always up before an installer window: the process's first
  // window (display connection, fonts, classes) is not the download's cost, and the probe
  // starts after it.
  ui.ShowInstallerWindow([](IInstallerWindow& window) { window.Close(); });

  Probe probe;
  UniqueHandle probeDone = NewEvent();
  ui.StartThread([&] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    while (!probe.stop) {
      HWND window = ::FindWindowW(kInstallerWindowClass, kInstallerCaption);
      if (window != nullptr) {
        LARGE_INTEGER t0, t1;
        DWORD_PTR result = 0;
        ::QueryPerformanceCounter(&t0);
        ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
        ::QueryPerformanceCounter(&t1);
        const double ms = (t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart;
        if (ms > probe.longestMs) probe.longestMs = ms;
        ++probe.samples;
      }
      ::Sleep(10);
    }
    ::SetEvent(probeDone.Get());
  });

  LARGE_INTEGER frequency, t0, t1;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&t0);
  {
    InstallerForm form(services);
    form.SetURL(wideUrl);
    form.SetFileName(L"bench.bin");  // an extension nothing runs
    form.ShowModal();
  }
  ::QueryPerformanceCounter(&t1);
  probe.stop = true;
  EXPECT_TRUE(PumpUntilSignalled(probeDone.Get()));

  // The downloaded file: the newest tmp*.bin in the temporary folder.
  const std::wstring temp = files.TempPath();
  std::wstring newest;
  FILETIME newestTime = {};
  uint64_t size = 0;
  files.ListDirectory(temp, [&](const DirEntry& e) {
    if (e.name.size() < 7 || e.name.compare(0, 3, L"tmp") != 0 ||
        e.name.compare(e.name.size() - 4, 4, L".bin") != 0)
      return true;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW((temp + e.name).c_str(), GetFileExInfoStandard, &data) &&
        ::CompareFileTime(&data.ftLastWriteTime, &newestTime) >= 0) {
      newestTime = data.ftLastWriteTime;
      newest = temp + e.name;
      size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return true;
  });
  ASSERT_FALSE(newest.empty()) << "no downloaded file";
  ::DeleteFileW(newest.c_str());
  ASSERT_GT(size, 0u);

  const double seconds = static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart;
  std::printf("BENCH bytes %llu\n", static_cast<unsigned long long>(size));
  std::printf("BENCH seconds %.3f\n", seconds);
  const double transfer =
      static_cast<double>(http.end.QuadPart - http.start.QuadPart) / frequency.QuadPart;
  std::printf("BENCH mb_per_s %.1f\n", size / seconds / 1e6);
  std::printf("BENCH transfer_mb_per_s %.1f\n", size / transfer / 1e6);
  std::printf("BENCH setup_ms %.1f\n",
              (http.start.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart);
  std::printf("BENCH teardown_ms %.1f\n",
              (t1.QuadPart - http.end.QuadPart) * 1000.0 / frequency.QuadPart);
  std::printf("BENCH longest_round_trip_ms %.1f\n", probe.longestMs.load());
  std::printf("BENCH probes %d\n", probe.samples.load());
  std::fflush(stdout);
}

// The adapter alone, for comparison: Win32Http into a file, callbacks counting the chunks.
TEST(DownloadBench, AdapterAlone) {
  const char* url = std::getenv("ZL_BENCH_URL");
  if (url == nullptr) GTEST_SKIP() << "ZL_BENCH_URL not set";
  const std::string narrowUrl = url;
  Win32FileSystem files;
  const std::wstring path = files.TempFileName(files.TempPath(), L"zlb");
  Win32Http http;
  int chunks = 0;
  HttpCallbacks callbacks;
  callbacks.work = [&](int64_t) { ++chunks; };
  LARGE_INTEGER frequency, t0, t1;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&t0);
  HttpResponse response;
  {
    std::unique_ptr<IWriteStream> target = files.CreateWrite(path);
    response = http.Get(std::wstring(narrowUrl.begin(), narrowUrl.end()), *target, callbacks);
    target->Close();
  }
  ::QueryPerformanceCounter(&t1);
  files.DeleteFile(path);
  EXPECT_EQ(response.status, 200);
  const double seconds = static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart;
  std::printf("BENCH adapter_mb_per_s %.1f\n", response.received / seconds / 1e6);
  std::printf("BENCH adapter_chunks %d\n", chunks);
  std::fflush(stdout);
}

}  // namespace
}  // namespace zl::win32
