#pragma once
// The small top-most "Installer" window: a status line and a progress bar, shown modally over the
// launcher's main window while a download runs. Both are real controls, so a screen reader reads
// the download's progress.

#include "model/Palette.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

#include <exception>
#include <functional>
#include <string>

namespace zl::win32 {

constexpr wchar_t kInstallerWindowClass[] = L"TInstallerForm";
constexpr wchar_t kInstallerCaption[] = L"Installer";

// Lives for one modal showing. Every method runs on the thread that called Run (the main thread):
// the download thread reaches it through RunOnMainThread.
class InstallerWindow : public IInstallerWindow {
 public:
  // owner: the launcher's main window, or nullptr. It is disabled while the window shows, and
  // the window is centred on it.
  explicit InstallerWindow(HWND owner);
  ~InstallerWindow() override;
  InstallerWindow(const InstallerWindow&) = delete;
  InstallerWindow& operator=(const InstallerWindow&) = delete;

  // Creates, centres and shows the window, calls onActivate at each activation and returns once
  // Close was called (or WM_QUIT arrived, which is posted again for the outer loop). An error
  // raised by onActivate closes the window and is raised again here.
  void Run(const std::function<void(IInstallerWindow&)>& onActivate);

  void SetStatusText(const std::wstring& text) override;
  void SetProgress(double percent) override;
  void Hide() override;
  void Close() override;

  HWND Handle() const { return hwnd_.Get(); }

  // Control ids, for the adapter tests and the window driver.
  static constexpr int kStatusId = 1;
  static constexpr int kProgressId = 2;

 private:
  template <typename Window>
  friend LRESULT CALLBACK WindowProcThunk(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Activated();
  void Paint(HDC dc);
  int Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
  RECT StatusRect() const;
  RECT BarRect() const;

  HWND owner_;
  UniqueWindow hwnd_;
  UniqueGdi<HFONT> font_;
  int dpi_ = 96;
  std::wstring status_;
  int position_ = 50;
  HWND statusControl_ = nullptr;  // children, destroyed with the window
  HWND bar_ = nullptr;
  Palette palette_;
  const std::function<void(IInstallerWindow&)>* onActivate_ = nullptr;
  bool activatedOnce_ = false;
  bool closed_ = false;
  std::exception_ptr error_;
};

}  // namespace zl::win32
