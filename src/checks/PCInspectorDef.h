#pragma once
// TPCInspector: step 1, the workstation check.

#include "launcher/ErrorUtils.h"

namespace zl {

class TPCInspector {
 public:
  TPCInspector() = delete;
  static void Inspect(TLaunchErrorList& errorList);
  // Windows 7 (6.1) or later.
  static bool IsWindows7OrHigher();
  // Reads the Windows version once for the whole run; the program block calls it at start.
  // Without that call the version is read on first use.
  static void LoadVersion();

 private:
  static void RemoveAppOptionKeys();
  static bool HasEnoughDiskSpace();
  static bool IsWindowsXPOrHigher();
};

}  // namespace zl
