#pragma once
// The message dialog as Windows draws it: the task dialog where it looks right (Vista or later,
// visual styles, comctl32 6), else our own classic dialog laid out like the system's message box.

#include "platform/Platform.h"
#include "platform/win32/Win32Api.h"

namespace zl::win32 {

// Which dialog draws a message. Automatic is the program's choice; the others let the adapter
// tests reach both. Task still falls back to Classic where comctl32 lacks it.
enum class DialogPath { Automatic, Classic, Task };

// comctl32 as loaded in this process exports TaskDialogIndirect.
bool TaskDialogAvailable();

// Shows content modally and returns the result of the button pressed (content.closeResult for
// Escape or the close box). Our own top-most windows are lowered meanwhile when content asks for
// it. taken tells which dialog was drawn (Classic or Task).
int ShowMessageDialogWindow(const MessageDialogSpec& content, DialogPath forced, DialogPath& taken);

}  // namespace zl::win32
