#include "platform/win32/MainWindow.h"

#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <cmath>

namespace zl::win32 {

namespace {
// The window class names stay as deployed: scripts and tools of the admins find our windows by
// them.
const wchar_t kClassName[] = L"TZelLauncherForm";
const COLORREF kSteelBlue = RGB(0x46, 0x82, 0xB4);
const COLORREF kTrack = RGB(0xE6, 0xE6, 0xE6);
const COLORREF kTrackEdge = RGB(0xBC, 0xBC, 0xBC);
const COLORREF kFill = RGB(0x06, 0xB0, 0x25);
const UINT kActivateFallback = WM_APP + 2;
// Layout in device-independent pixels.
const int kClientWidth = 450, kClientHeight = 250;
const int kLogoHeight = 145, kProgressHeight = 30;
const int kStatusWidth = 196, kStatusHeight = 51;
const int kLogoResource = 101;

struct DcDeleter {
  HDC dc;
  ~DcDeleter() { DeleteDC(dc); }
};

// Selects an object into a DC for one scope.
struct Selected {
  HDC dc;
  HGDIOBJ old;
  Selected(HDC d, HGDIOBJ obj) : dc(d), old(SelectObject(d, obj)) {}
  ~Selected() { SelectObject(dc, old); }
};

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  SetDCBrushColor(dc, colour);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}
}  // namespace

bool MainWindow::Create(HINSTANCE instance, const wchar_t* caption, Events events) {
  events_ = std::move(events);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &MainWindow::WndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);

  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;

  // A caption but no system menu: no close, minimise or maximise buttons; a fixed border.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION;
  RECT r = {0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;

  // The system's message font family (Tahoma on XP, Segoe UI later) at the status text's size.
  // Built for XP, the structure has the size every Windows version accepts.
  NONCLIENTMETRICSW ncm = {};
  ncm.cbSize = sizeof(ncm);
  LOGFONTW lf = {};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0)) lf = ncm.lfMessageFont;
  lf.lfHeight = -Scale(24);
  lf.lfWidth = 0;
  lf.lfWeight = FW_NORMAL;
  lf.lfQuality = CLEARTYPE_QUALITY;
  statusFont_.Reset(CreateFontIndirectW(&lf));
  PrepareLogo(instance);

  hwnd_.Reset(
      CreateWindowExW(0, kClassName, caption, style, x, y, w, h, nullptr, nullptr, instance, this));
  if (!hwnd_) return false;
  // The information window centres over this window and the file dialog is owned by it.
  Win32Ui().SetMainWindow(hwnd_.Get());
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
  HDC screen = GetDC(nullptr);
  logo_.Reset(CreateCompatibleBitmap(screen, logoWidth_, logoHeight_));
  DcDeleter src{CreateCompatibleDC(screen)}, dst{CreateCompatibleDC(screen)};
  ReleaseDC(nullptr, screen);
  Selected s(src.dc, source.Get()), d(dst.dc, logo_.Get());
  SetStretchBltMode(dst.dc, HALFTONE);
  SetBrushOrgEx(dst.dc, 0, 0, nullptr);
  StretchBlt(dst.dc, 0, 0, logoWidth_, logoHeight_, src.dc, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
}

// The progress bar is painted with the window: under Wine a progress control child costs a
// frame (about 16 ms) per repaint, which added up to a tenth of a second per launch.
void MainWindow::SetProgress(double value) {
  progress_ = std::clamp(value, 0.0, 100.0);
  if (hwnd_) InvalidateRect(hwnd_.Get(), nullptr, FALSE);
}

void MainWindow::SetStatusText(const std::wstring& text) {
  status_ = text;
  if (hwnd_) InvalidateRect(hwnd_.Get(), nullptr, FALSE);
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(hwnd, msg, wp, lp);
}

LRESULT MainWindow::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
    case WM_CLOSE:
      // The window closes with the program; a half-done install must not be cut off.
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void MainWindow::Paint(HWND hwnd, HDC dc) {
  RECT client;
  GetClientRect(hwnd, &client);
  const int width = client.right, height = client.bottom;
  const int bandBottom = height - Scale(kProgressHeight);

  // Drawn off screen and copied once, so status changes do not flicker.
  DcDeleter mem{CreateCompatibleDC(dc)};
  UniqueGdi<HBITMAP> buffer(CreateCompatibleBitmap(dc, width, height));
  Selected b(mem.dc, buffer.Get());
  FillSolid(mem.dc, RECT{0, 0, width, bandBottom}, kSteelBlue);

  if (logo_) {
    DcDeleter src{CreateCompatibleDC(mem.dc)};
    Selected s(src.dc, logo_.Get());
    BitBlt(mem.dc, (width - logoWidth_) / 2, (Scale(kLogoHeight) - logoHeight_) / 2, logoWidth_,
           logoHeight_, src.dc, 0, 0, SRCCOPY);
  }

  if (!status_.empty()) {
    const int bandTop = Scale(kLogoHeight);
    const int labelW = Scale(kStatusWidth), labelH = Scale(kStatusHeight);
    RECT label = {(width - labelW) / 2, bandTop + (bandBottom - bandTop - labelH) / 2, 0, 0};
    label.right = label.left + labelW;
    label.bottom = label.top + labelH;
    Selected f(mem.dc, statusFont_.Get());
    SetTextColor(mem.dc, RGB(255, 255, 255));
    SetBkMode(mem.dc, TRANSPARENT);
    // A text wider than the label wraps; the lines stay centred on the label's middle.
    RECT measure = label;
    DrawTextW(mem.dc, status_.c_str(), -1, &measure, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    const int textH = measure.bottom - measure.top;
    RECT draw = label;
    draw.top = label.top + (labelH - textH) / 2;
    draw.bottom = draw.top + textH;
    DrawTextW(mem.dc, status_.c_str(), -1, &draw, DT_CENTER | DT_WORDBREAK | DT_NOCLIP);
  }

  // The progress bar: a light track with a one-pixel edge, filled from the left.
  RECT track = {0, bandBottom, width, height};
  FillSolid(mem.dc, track, kTrackEdge);
  RECT inner = {1, bandBottom + 1, width - 1, height - 1};
  FillSolid(mem.dc, inner, kTrack);
  const int filled = static_cast<int>(std::lround((inner.right - inner.left) * progress_ / 100.0));
  if (filled > 0)
    FillSolid(mem.dc, RECT{inner.left, inner.top, inner.left + filled, inner.bottom}, kFill);

  BitBlt(dc, 0, 0, width, height, mem.dc, 0, 0, SRCCOPY);
}

}  // namespace zl::win32
