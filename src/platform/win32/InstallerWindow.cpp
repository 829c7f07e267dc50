#include "platform/win32/InstallerWindow.h"

#include "platform/win32/Win32Util.h"
#include "platform/win32/ProgressBar.h"
#include "platform/win32/WindowKit.h"

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

// Sent to ourselves after showing: should the system not activate the window (another program
// holds the foreground), the download starts anyway.
constexpr UINT kActivateFallback = WM_APP + 3;
// Wakes the modal loop after Close.
constexpr UINT kWake = WM_APP + 4;
constexpr UINT_PTR kWakeTimer = 1;

}  // namespace

InstallerWindow::InstallerWindow(HWND owner)
    : owner_(owner != nullptr && ::IsWindow(owner) ? owner : nullptr) {}

InstallerWindow::~InstallerWindow() = default;

void InstallerWindow::Run(const std::function<void(IInstallerWindow&)>& onActivate) {
  if (!RegisterWindowClass(kInstallerWindowClass, &WindowProcThunk<InstallerWindow>))
    ThrowWithSystemMessage(L"Cannot register the installer window class.", ::GetLastError());
  dpi_ = ScreenDpi();

  FontStyle fontStyle;
  fontStyle.pixels = Scale(kFontPixels);
  font_ = MessageFont(fontStyle);

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
  palette_ = CurrentDialogPalette();
  statusControl_ =
      AddControl(hwnd_.Get(), L"STATIC", status_, SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOPREFIX,
                 kStatusId, StatusRect(), font_ ? font_.Get() : nullptr);
  bar_ = AddProgressBar(hwnd_.Get(), kProgressId, BarRect(), palette_.bar);
  SetBarProgress(bar_, position_);
  CentreOver(hwnd_.Get(), owner_);

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
  statusControl_ = bar_ = nullptr;

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
  SetControlText(statusControl_, status_);
}

// The bar shows whole percents: a fraction more neither repaints nor raises the value-change
// event.
void InstallerWindow::SetProgress(double percent) {
  position_ = percent >= 0 ? static_cast<int>(std::floor(std::min(percent, 100.0))) : 0;
  SetBarProgress(bar_, position_);
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
  if (const auto answer = AnswerColours(hwnd, msg, wp, palette_, &CurrentDialogPalette, bar_))
    return *answer;
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

// The face behind the controls, which paint themselves.
void InstallerWindow::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(hwnd_.Get(), &client);
  FillSolid(dc, client, Colour(palette_.background));
}

}  // namespace zl::win32
