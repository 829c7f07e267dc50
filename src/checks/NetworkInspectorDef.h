#pragma once
// TNetworkInspector: step 3, the share access check.

#include "launcher/ErrorUtils.h"

namespace zl {

class TNetworkInspector {
 public:
  TNetworkInspector() = delete;
  static void Inspect(TLaunchErrorList& errorList);
};

}  // namespace zl
