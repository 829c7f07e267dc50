#pragma once
// TPCInspector: step 1, the workstation check.

#include "launcher/ErrorUtils.h"

namespace zl {

class TPCInspector {
 public:
  TPCInspector() = delete;
  static void Inspect(TLaunchErrorList& errorList);
};

}  // namespace zl
