#pragma once
// Windows, dialogs, threads and the hand-over to the main thread through user32 and comctl32.

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32MessageDialog.h"
#include "platform/Platform.h"

#include <atomic>

namespace zl::win32 {

class Win32UserInterface : public IUserInterface {
 public:
  // Construct on the main thread: it becomes the thread RunOnMainThread hands routines to.
  Win32UserInterface();
  ~Win32UserInterface() override;
  Win32UserInterface(const Win32UserInterface&) = delete;
  Win32UserInterface& operator=(const Win32UserInterface&) = delete;

  int MessageBox(const std::wstring& text, const std::wstring& caption, uint32_t flags) override;
  int ShowMessageDialog(const MessageDialogSpec& content) override;
  void ProcessMessages() override;
  void Terminate() override;
  bool IsMainThread() override;
  void RunOnMainThread(const std::function<void()>& routine) override;
  void StartThread(std::function<void()> body, const std::wstring& name) override;
  using IUserInterface::StartThread;
  bool ShowLocateProgramForm(const LocateProgramFormContent& content) override;
  std::optional<std::wstring> ShowOpenFileDialog(const OpenFileDialogRequest& request) override;
  void ShowInstallerWindow(const std::function<void(IInstallerWindow&)>& onActivate) override;

  // The launcher's main window: the information window is centred over it and the file dialog
  // is owned by it. nullptr for none.
  void SetMainWindow(HWND window) { mainWindow_ = window; }
  HWND MainWindowHandle() const { return mainWindow_; }

  // For the program block: true once Terminate was asked for on the main thread.
  bool Terminated() const { return terminated_; }
  // The main thread's message loop: runs until Terminate or WM_QUIT and returns the exit code
  // (WM_QUIT's, 0 after Terminate).
  int RunMainLoop();
  // A modeless dialog whose messages get the dialog keys (Tab, Enter, Escape) in RunMainLoop and
  // ProcessMessages; nullptr for none.
  void SetDialogWindow(HWND dialog) { dialog_ = dialog; }

  // Which dialog ShowMessageDialog draws (see Win32MessageDialog.h).
  using DialogPath = win32::DialogPath;
  void ForceDialogPath(DialogPath path) { forcedPath_ = path; }
  // The path the last ShowMessageDialog actually took (Classic or Task).
  DialogPath LastDialogPath() const { return lastPath_.load(); }
  // comctl32 as loaded in this process exports TaskDialogIndirect.
  static bool TaskDialogAvailable();

 private:
  DWORD mainThreadId_;
  UniqueWindow handover_;
  HWND dialog_ = nullptr;
  HWND mainWindow_ = nullptr;
  bool terminated_ = false;
  DialogPath forcedPath_ = DialogPath::Automatic;
  std::atomic<DialogPath> lastPath_{DialogPath::Classic};
};

}  // namespace zl::win32
