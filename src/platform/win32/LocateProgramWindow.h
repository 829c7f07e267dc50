#pragma once
// The "Information" window shown before the user picks the application's executable: a warning
// picture, six labels, the help link and the Next button, laid out as the program's form was.

#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

namespace zl::win32 {

// Control ids, for the adapter tests and the window driver.
namespace locate_ids {
constexpr int kImage = 100;
constexpr int kLabel1 = 101;  // Label1 ... Label6 are kLabel1 + 0 ... + 5
constexpr int kLink = 107;
constexpr int kNext = IDOK;
}  // namespace locate_ids

// Shows the window modally on the calling thread, owned by mainWindow and centred over it when
// one is given (it is disabled meanwhile). True when Next closed it, false for the close box or
// Escape. An error raised by content.onLinkClick closes the window and is raised again here.
bool ShowLocateProgramWindow(const LocateProgramFormContent& content, HWND mainWindow);

// The help link is a SysLink where comctl32 has one, otherwise a button drawn as a link. Tests
// turn SysLink off to see the other; answers the setting it replaced.
bool AllowSysLinkForLocateWindow(bool allowed);

}  // namespace zl::win32
