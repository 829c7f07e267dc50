#pragma once
// TOrvexLocator: step 2, finding the server.

#include "launcher/ErrorUtils.h"

namespace zl {

class TOrvexLocator {
 public:
  TOrvexLocator() = delete;
  static void Locate(TLaunchErrorList& errorList);
};

}  // namespace zl
