#pragma once
// The launcher's main window: logo, status text and progress bar on steel blue. A humble view:
// what it shows is decided by whoever holds its IMainView; its creation and activations are
// handed to the callbacks the program block gives it. The status line and the bar are real
// controls, so a screen reader reads them and hears them change.

#include <functional>
#include <string>

#include "model/Palette.h"
#include "platform/Platform.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32UserInterface.h"

namespace zl::win32 {

class MainWindow : public IMainView {
 public:
  struct Events {
    std::function<void()> onCreated;    // the window exists, before it is shown
    std::function<void()> onActivated;  // each activation, and once more should none come
  };

  // The information and file windows of ui centre over this one once it is made.
  explicit MainWindow(Win32UserInterface& ui) : ui_(ui) {}
  // Creates the window (onCreated runs), centres it on the screen and shows it.
  bool Create(HINSTANCE instance, const wchar_t* caption, Events events);
  HWND Handle() const { return hwnd_.Get(); }

  void SetProgress(double value) override;
  void SetStatusText(const std::wstring& text) override;

  // Control ids, for the adapter tests and the window driver.
  static constexpr int kStatusId = 1;
  static constexpr int kProgressId = 2;

 private:
  template <typename Window>
  friend LRESULT CALLBACK WindowProcThunk(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void PrepareLogo(HINSTANCE instance);
  void Paint(HWND hwnd, HDC dc);
  void AddControls();
  // Sizes the status control to its wrapped text, centred on the label's place.
  void PlaceStatus();
  int Scale(int dip) const { return MulDiv(dip, dpi_, 96); }

  Win32UserInterface& ui_;
  Events events_;
  UniqueWindow hwnd_;
  UniqueGdi<HBITMAP> logo_;  // already scaled to its place, drawn with one BitBlt
  int logoWidth_ = 0, logoHeight_ = 0;
  UniqueGdi<HFONT> statusFont_;
  HWND status_ = nullptr;  // children, destroyed with the window
  std::wstring statusText_;
  HWND bar_ = nullptr;
  Palette palette_;
  int dpi_ = 96;
};

}  // namespace zl::win32
