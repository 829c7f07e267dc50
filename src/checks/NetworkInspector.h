#pragma once
// NetworkInspector: step 3, the share access check.

#include "model/LaunchRun.h"

namespace zl {

class NetworkInspector {
 public:
  NetworkInspector() = delete;
  static void Inspect(LaunchRun& run);
};

}  // namespace zl
