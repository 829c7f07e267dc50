#include "platform/win32/MainWindow.h"

#include "platform/win32/ProgressBar.h"
#include "platform/win32/WindowKit.h"

#include <algorithm>
#include <cmath>

namespace zl::win32 {

namespace {
// The window class names stay as deployed: scripts and tools of the admins find our windows by
// them.
const wchar_t kClassName[] = L"TZelLauncherForm";
const UINT kActivateFallback = WM_APP + 2;
// Layout in device-independent pixels.
const int kClientWidth = 450, kClientHeight = 250;
const int kLogoHeight = 145, kProgressHeight = 30;
const int kStatusWidth = 196, kStatusHeight = 51;
const int kLogoResource = 101;

}  // namespace

bool MainWindow::Create(HINSTANCE instance, const wchar_t* caption, Events events) {
  events_ = std::move(events);
  RegisterWindowClass(kClassName, &WindowProcThunk<MainWindow>,
                      LoadIconW(instance, MAKEINTRESOURCEW(1)),
                      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), LR_SHARED)));

  dpi_ = ScreenDpi();

  // A caption but no system menu: no close, minimise or maximise buttons; a fixed border.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
  RECT r = {0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;

  // The system's message font family at the status text's size.
  FontStyle statusStyle;
  statusStyle.pixels = Scale(24);
  statusStyle.clearType = true;
  statusFont_ = MessageFont(statusStyle);
  PrepareLogo(instance);
  palette_ = CurrentMainWindowPalette();

  hwnd_.Reset(
      CreateWindowExW(0, kClassName, caption, style, x, y, w, h, nullptr, nullptr, instance, this));
  if (!hwnd_) return false;
  AddControls();
  // The information window centres over this window and the file dialog is owned by it.
  ui_.SetMainWindow(hwnd_.Get());
  if (events_.onCreated) events_.onCreated();
  ShowWindow(hwnd_.Get(), SW_SHOWNORMAL);
  UpdateWindow(hwnd_.Get());
  SetForegroundWindow(hwnd_.Get());
  // The sequence starts on the first activation; should the system not activate the window
  // (another program holds the foreground), it starts anyway.
  PostMessageW(hwnd_.Get(), kActivateFallback, 0, 0);
  return true;
}

void MainWindow::PrepareLogo(HINSTANCE instance) {
  UniqueGdi<HBITMAP> source(static_cast<HBITMAP>(LoadImageW(
      instance, MAKEINTRESOURCEW(kLogoResource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!source) return;
  BITMAP bm;
  GetObjectW(source.Get(), sizeof(bm), &bm);
  // Fit into the top band with the proportions kept; scaled once, with halftoning, here rather
  // than at every repaint.
  double scale = std::min(static_cast<double>(Scale(kClientWidth)) / bm.bmWidth,
                          static_cast<double>(Scale(kLogoHeight)) / bm.bmHeight);
  logoWidth_ = static_cast<int>(std::lround(bm.bmWidth * scale));
  logoHeight_ = static_cast<int>(std::lround(bm.bmHeight * scale));
  WindowDc screen(nullptr);
  logo_.Reset(CreateCompatibleBitmap(screen.Get(), logoWidth_, logoHeight_));
  UniqueMemoryDc src(CreateCompatibleDC(screen.Get())), dst(CreateCompatibleDC(screen.Get()));
  SelectedObject s(src.Get(), source.Get()), d(dst.Get(), logo_.Get());
  SetStretchBltMode(dst.Get(), HALFTONE);
  SetBrushOrgEx(dst.Get(), 0, 0, nullptr);
  StretchBlt(dst.Get(), 0, 0, logoWidth_, logoHeight_, src.Get(), 0, 0, bm.bmWidth, bm.bmHeight,
             SRCCOPY);
}

void MainWindow::AddControls() {
  RECT client;
  GetClientRect(hwnd_.Get(), &client);
  // The status line comes before the bar: a screen reader names the bar by the text before it.
  status_ = AddControl(hwnd_.Get(), L"STATIC", L"", SS_CENTER | SS_NOPREFIX, kStatusId,
                       RECT{0, 0, 0, 0}, statusFont_.Get());
  bar_ = AddProgressBar(
      hwnd_.Get(), kProgressId,
      RECT{0, client.bottom - Scale(kProgressHeight), client.right, client.bottom}, palette_.bar);
  PlaceStatus();
}

void MainWindow::SetProgress(double value) { SetBarProgress(bar_, value); }

void MainWindow::SetStatusText(const std::wstring& text) {
  if (status_ == nullptr || text == statusText_) return;
  statusText_ = text;
  SetControlText(status_, text);
  PlaceStatus();
}

void MainWindow::PlaceStatus() {
  if (status_ == nullptr) return;
  RECT client;
  GetClientRect(hwnd_.Get(), &client);
  const int bandTop = Scale(kLogoHeight), bandBottom = client.bottom - Scale(kProgressHeight);
  const int labelW = Scale(kStatusWidth), labelH = Scale(kStatusHeight);
  const int labelTop = bandTop + (bandBottom - bandTop - labelH) / 2;

  // A text wider than the label wraps; the lines stay centred on the label's middle. A word
  // wider than the label widens the control rather than being cut.
  RECT measure = {0, 0, labelW, 0};
  if (!statusText_.empty()) {
    WindowDc screen(nullptr);
    SelectedObject f(screen.Get(), statusFont_.Get());
    DrawTextW(screen.Get(), statusText_.c_str(), -1, &measure,
              DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | DT_CALCRECT);
  }
  const int width =
      std::min<int>(std::max<int>(labelW, measure.right - measure.left), client.right);
  const int height = std::max<int>(measure.bottom - measure.top, 1);
  SetWindowPos(status_, nullptr, (client.right - width) / 2, labelTop + (labelH - height) / 2,
               width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT MainWindow::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (const auto answer = AnswerColours(hwnd, msg, wp, palette_, &CurrentMainWindowPalette, bar_))
    return *answer;
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && events_.onActivated) events_.onActivated();
      break;
    case kActivateFallback:
      if (events_.onActivated) events_.onActivated();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT, without flicker
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Paint(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(hwnd, reinterpret_cast<HDC>(wp));
      return 0;
    case WM_CLOSE:
      // The window closes with the program; a half-done install must not be cut off.
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void MainWindow::Paint(HWND hwnd, HDC dc) {
  RECT client;
  GetClientRect(hwnd, &client);
  const int width = client.right;
  const int bandBottom = client.bottom - Scale(kProgressHeight);

  // The band behind the logo and the status line; the controls paint themselves. Drawn off
  // screen and copied once, so a repaint does not flicker.
  UniqueMemoryDc memory(CreateCompatibleDC(dc));
  const HDC mem = memory.Get();
  UniqueGdi<HBITMAP> buffer(CreateCompatibleBitmap(dc, width, bandBottom));
  SelectedObject b(mem, buffer.Get());
  FillSolid(mem, RECT{0, 0, width, bandBottom}, Colour(palette_.background));

  if (logo_) {
    UniqueMemoryDc src(CreateCompatibleDC(mem));
    SelectedObject s(src.Get(), logo_.Get());
    BitBlt(mem, (width - logoWidth_) / 2, (Scale(kLogoHeight) - logoHeight_) / 2, logoWidth_,
           logoHeight_, src.Get(), 0, 0, SRCCOPY);
  }
  BitBlt(dc, 0, 0, width, bandBottom, mem, 0, 0, SRCCOPY);
}

}  // namespace zl::win32
