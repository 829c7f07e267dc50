#pragma once
// TProgramLocator: step 4, finding the application's executable.

#include "launcher/ErrorUtils.h"

namespace zl {

class TProgramLocator {
 public:
  TProgramLocator() = delete;
  static void Locate(TLaunchErrorList& errorList);
};

}  // namespace zl
