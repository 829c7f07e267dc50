// The program block: builds the run on the Win32 platform, loads its options, creates the launch
// sequence and the main window, wires the window's events to the sequence and runs the event
// loop until the launch worker has ended.

#include <windows.h>
#include <commctrl.h>

#include "launcher/LaunchSequence.h"
#include "model/LaunchRun.h"
#include "model/MessageDialog.h"
#include "model/Trace.h"
#include "platform/win32/MainWindow.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Util.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // Takes the current folder (often the share the launcher was started from) out of the DLL
  // search for every later load. XP SP1 brought SetDllDirectoryW: looked up, XP RTM still starts.
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  const auto setDllDirectory =
      zl::win32::LookUp<SetDllDirectoryFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDllDirectoryW");
  if (setDllDirectory != nullptr) setDllDirectory(L"");

  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  const zl::PlatformServices platform = zl::win32::Win32Platform();
  zl::Trace::SetOutput(platform.system, platform.files);
  zl::LaunchRun run(platform);

  try {
    run.options.Load(run.Registry(), run.System(), run.System().CommandLine());
  } catch (const zl::LauncherError& e) {
    // A setting of the wrong type ends the program before its window exists; the admin reads
    // which value to correct.
    std::wstring text = e.Message() +
                        L"\r\n\r\nCorrect or remove this value in the registry key "
                        L"SOFTWARE\\Zelkora\\Launcher (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER), "
                        L"then start the launcher again.";
    MessageBoxW(nullptr, text.c_str(), zl::kApplicationTitle, MB_OK | MB_ICONERROR);
    return 1;
  }

  zl::win32::MainWindow window(zl::win32::Win32Ui());
  zl::LaunchSequence sequence(window, run);
  zl::win32::MainWindow::Events events;
  events.onCreated = [&sequence] { sequence.OnCreate(); };
  events.onActivated = [&sequence] { sequence.OnActivate(); };
  if (!window.Create(instance, zl::kApplicationTitle, std::move(events))) return 1;
  return zl::win32::Win32Ui().RunMainLoop();
}
