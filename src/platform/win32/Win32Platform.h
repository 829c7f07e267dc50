#pragma once
// The program block's entry to the Win32 platform.

#include "platform/win32/Win32UserInterface.h"

namespace zl::win32 {

// Makes the Win32 adapters (once, for the life of the process) and installs them with
// zl::InstallPlatform. Call on the main thread: the user interface takes it as the main thread.
void InstallWin32Platform();

// The installed user interface, for the main loop (RunMainLoop, Terminated).
Win32UserInterface& Win32Ui();

}  // namespace zl::win32
