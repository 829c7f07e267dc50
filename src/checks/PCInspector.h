#pragma once
// PCInspector: step 1, the workstation check.

#include "model/LaunchError.h"

namespace zl {

class PCInspector {
 public:
  PCInspector() = delete;
  static void Inspect(LaunchErrorList& errorList);
  // Windows 7 (6.1) or later.
  static bool IsWindows7OrHigher();

 private:
  static void RemoveAppOptionKeys();
  static bool HasEnoughDiskSpace();
  static bool IsWindowsXPOrHigher();
};

}  // namespace zl
