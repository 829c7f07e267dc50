#pragma once
// NetworkInspector: step 3, the share access check.

#include "model/LaunchError.h"

namespace zl {

class NetworkInspector {
 public:
  NetworkInspector() = delete;
  static void Inspect(LaunchErrorList& errorList);
};

}  // namespace zl
