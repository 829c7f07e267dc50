#pragma once
// The program block's entry to the Win32 platform.

#include "platform/win32/Win32UserInterface.h"

namespace zl::win32 {

// The Win32 adapters, made on the first call for the life of the process. First call on the main
// thread: the user interface takes it as the main thread.
PlatformServices Win32Platform();

// The platform's user interface, for the main loop (RunMainLoop, Terminated).
Win32UserInterface& Win32Ui();

}  // namespace zl::win32
