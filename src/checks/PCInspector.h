#pragma once
// PCInspector: step 1, the workstation check.

#include "model/LaunchRun.h"

namespace zl {

class PCInspector {
 public:
  PCInspector() = delete;
  static void Inspect(LaunchRun& run);
  // Windows 7 (6.1) or later.
  static bool IsWindows7OrHigher(ISystem& system);

 private:
  static void RemoveAppOptionKeys(IRegistry& registry);
  static bool HasEnoughDiskSpace(ISystem& system);
  static bool IsWindowsXPOrHigher(ISystem& system);
};

}  // namespace zl
