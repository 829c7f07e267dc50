#include "platform/win32/InstallerWindow.h"

#include "platform/win32/Win32UserInterface.h"
#include "platform/win32/Win32Util.h"
#include "utils/FormHelper.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zl::win32 {

namespace {

// Layout in pixels at 96 DPI.
constexpr int kClientWidth = 294, kClientHeight = 51;
constexpr RECT kStatusPlace = {4, 4, 4 + 285, 4 + 15};
constexpr RECT kBarPlace = {4, 20, 4 + 285, 20 + 25};
constexpr int kFontPixels = 12;
const COLORREF kTrack = RGB(0xE6, 0xE6, 0xE6);
const COLORREF kTrackEdge = RGB(0xBC, 0xBC, 0xBC);
const COLORREF kFill = RGB(0x06, 0xB0, 0x25);

// Sent to ourselves after showing: should the system not activate the window (another program
// holds the foreground), the download starts anyway.
constexpr UINT kActivateFallback = WM_APP + 3;
// Wakes the modal loop after Close.
constexpr UINT kWake = WM_APP + 4;
constexpr UINT_PTR kWakeTimer = 1;

class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(::CreateCompatibleDC(like)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) ::DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~Selected() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  ::SetDCBrushColor(dc, colour);
  ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
}

RECT WindowBounds(HWND window) {
  RECT r = {};
  ::GetWindowRect(window, &r);
  return r;
}

// The window as CenterForm sees it: centred on its owner, in screen pixels.
class CenterableForm : public ICenterableForm {
 public:
  CenterableForm(HWND form, HWND owner) : form_(form), owner_(owner) {}
  WindowPosition Position() const override { return WindowPosition::OwnerFormCenter; }
  ScreenBounds Bounds() const override { return ToBounds(WindowBounds(form_)); }
  void MoveTo(int left, int top) override {
    ::SetWindowPos(form_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  std::optional<ScreenBounds> OwnerBounds() const override {
    if (owner_ == nullptr) return std::nullopt;
    return ToBounds(WindowBounds(owner_));
  }
  std::optional<ScreenBounds> MainFormBounds() const override { return OwnerBounds(); }

 private:
  static ScreenBounds ToBounds(const RECT& r) {
    return ScreenBounds{r.left, r.top, r.right - r.left, r.bottom - r.top};
  }
  HWND form_;
  HWND owner_;
};

void RegisterWindowClass(WNDPROC proc) {
  WNDCLASSW cls;
  ZeroMemory(&cls, sizeof cls);
  cls.lpfnWndProc = proc;
  cls.hInstance = ::GetModuleHandleW(nullptr);
  cls.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  cls.lpszClassName = kInstallerWindowClass;
  if (!::RegisterClassW(&cls) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    ThrowWithSystemMessage(L"Cannot register the installer window class.", ::GetLastError());
}

}  // namespace

InstallerWindow::InstallerWindow(HWND owner)
    : owner_(owner != nullptr && ::IsWindow(owner) ? owner : nullptr) {}

InstallerWindow::~InstallerWindow() = default;

void InstallerWindow::Run(const std::function<void(IInstallerWindow&)>& onActivate) {
  RegisterWindowClass(&InstallerWindow::WndProc);
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;

  // The system's message font family (Tahoma on XP, Segoe UI later); the structure has its XP
  // size, which every Windows version accepts.
  NONCLIENTMETRICSW metrics;
  ZeroMemory(&metrics, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  LOGFONTW lf;
  ZeroMemory(&lf, sizeof lf);
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    lf = metrics.lfMessageFont;
  lf.lfHeight = -Scale(kFontPixels);
  lf.lfWidth = 0;
  lf.lfWeight = FW_NORMAL;
  font_.Reset(::CreateFontIndirectW(&lf));

  // A caption without a system menu has no close, minimise or maximise button; no thick frame,
  // so it cannot be resized. Top-most, and owned by the main window so it stays with it.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_TOPMOST;
  RECT frame = {0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  hwnd_.Reset(::CreateWindowExW(exStyle, kInstallerWindowClass, kInstallerCaption, style,
                                CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                frame.bottom - frame.top, owner_, nullptr,
                                ::GetModuleHandleW(nullptr), this));
  if (!hwnd_) ThrowWithSystemMessage(L"Cannot create the installer window.", ::GetLastError());
  CenterableForm centerable(hwnd_.Get(), owner_);
  CenterForm(centerable);

  onActivate_ = &onActivate;
  if (owner_ != nullptr) ::EnableWindow(owner_, FALSE);
  ::ShowWindow(hwnd_.Get(), SW_SHOWNORMAL);
  ::UpdateWindow(hwnd_.Get());
  ::PostMessageW(hwnd_.Get(), kActivateFallback, 0, 0);

  // Any GetMessage loop also delivers the messages other threads send, so the download thread's
  // reports (RunOnMainThread) run in here.
  MSG msg;
  while (!closed_) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: leave the quit for the outer loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  onActivate_ = nullptr;

  if (owner_ != nullptr) {
    // Enabled before ours goes, or Windows hands the activation to another program's window.
    ::EnableWindow(owner_, TRUE);
    const HWND active = ::GetActiveWindow();
    if (active == hwnd_.Get() || active == nullptr) ::SetActiveWindow(owner_);
  }
  hwnd_.Reset();
  if (error_) std::rethrow_exception(error_);
}

void InstallerWindow::SetStatusText(const std::wstring& text) {
  if (text == status_) return;
  status_ = text;
  if (hwnd_) {
    const RECT r = StatusRect();
    ::InvalidateRect(hwnd_.Get(), &r, FALSE);
  }
}

// The downloader reports after every chunk, hundreds of times a second on a fast network; only a
// change of the whole percent shows, so only that repaints.
void InstallerWindow::SetProgress(double percent) {
  const int position = percent >= 0 ? static_cast<int>(std::floor(std::min(percent, 100.0))) : 0;
  if (position == position_) return;
  position_ = position;
  if (hwnd_) {
    const RECT r = BarRect();
    ::InvalidateRect(hwnd_.Get(), &r, FALSE);
  }
}

void InstallerWindow::Hide() {
  if (hwnd_) ::ShowWindow(hwnd_.Get(), SW_HIDE);
}

void InstallerWindow::Close() {
  closed_ = true;
  if (!hwnd_) return;
  // The posted message wakes the loop at once. Should a loop nested inside the current handler
  // take it first, the timer wakes the loop later: it fires again until the window is gone.
  ::PostMessageW(hwnd_.Get(), kWake, 0, 0);
  ::SetTimer(hwnd_.Get(), kWakeTimer, USER_TIMER_MINIMUM, nullptr);
}

RECT InstallerWindow::StatusRect() const {
  return RECT{Scale(kStatusPlace.left), Scale(kStatusPlace.top), Scale(kStatusPlace.right),
              Scale(kStatusPlace.bottom)};
}

RECT InstallerWindow::BarRect() const {
  return RECT{Scale(kBarPlace.left), Scale(kBarPlace.top), Scale(kBarPlace.right),
              Scale(kBarPlace.bottom)};
}

LRESULT CALLBACK InstallerWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<InstallerWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<InstallerWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(hwnd, msg, wp, lp);
}

void InstallerWindow::Activated() {
  activatedOnce_ = true;
  if (onActivate_ == nullptr || closed_) return;
  // Nothing may unwind through user32: the error ends the showing and is raised again by Run.
  try {
    (*onActivate_)(*this);
  } catch (...) {
    error_ = std::current_exception();
    Close();
  }
}

LRESULT InstallerWindow::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) Activated();
      break;
    case kActivateFallback:
      if (!activatedOnce_) Activated();
      return 0;
    case kWake:
      return 0;
    case WM_TIMER:
      if (wp == kWakeTimer) return 0;
      break;
    case WM_CLOSE:
      // No close box; Alt+F4 must not cut a download or a running installer short either.
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT, without flicker
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      Paint(dc);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wp));
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// Status line and bar in one pass, off screen, copied once. A progress control child would cost
// about a frame (16 ms) per repaint under Wine.
void InstallerWindow::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(hwnd_.Get(), &client);
  const int width = client.right, height = client.bottom;
  MemoryDc mem(dc);
  UniqueGdi<HBITMAP> buffer(::CreateCompatibleBitmap(dc, width, height));
  Selected b(mem.Get(), buffer.Get());
  FillSolid(mem.Get(), client, ::GetSysColor(COLOR_BTNFACE));

  if (!status_.empty()) {
    RECT label = StatusRect();
    Selected f(mem.Get(),
               font_ ? static_cast<HGDIOBJ>(font_.Get()) : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetTextColor(mem.Get(), ::GetSysColor(COLOR_BTNTEXT));
    ::SetBkMode(mem.Get(), TRANSPARENT);
    ::DrawTextW(mem.Get(), status_.c_str(), -1, &label,
                DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }

  // A light track with a one-pixel edge, filled from the left.
  const RECT bar = BarRect();
  FillSolid(mem.Get(), bar, kTrackEdge);
  const RECT inner = {bar.left + 1, bar.top + 1, bar.right - 1, bar.bottom - 1};
  FillSolid(mem.Get(), inner, kTrack);
  const int filled = ::MulDiv(inner.right - inner.left, position_, 100);
  if (filled > 0)
    FillSolid(mem.Get(), RECT{inner.left, inner.top, inner.left + filled, inner.bottom}, kFill);

  ::BitBlt(dc, 0, 0, width, height, mem.Get(), 0, 0, SRCCOPY);
}

// ---------------------------------------------------------------- Win32UserInterface

void Win32UserInterface::ShowInstallerWindow(
    const std::function<void(IInstallerWindow&)>& onActivate) {
  if (!IsMainThread()) throw LauncherError(L"The installer window is shown on the main thread.");
  InstallerWindow window(MainWindowHandle());
  window.Run(onActivate);
}

}  // namespace zl::win32
