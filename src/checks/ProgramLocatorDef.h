#pragma once
// TProgramLocator: step 4, finding the application's executable.

#include <string>

#include "launcher/ErrorUtils.h"

namespace zl {

class TProgramLocator {
 public:
  TProgramLocator() = delete;
  static void Locate(TLaunchErrorList& errorList);

 private:
  // aAskedUser: the location was just picked by the user in this launch.
  static void Locate(TLaunchErrorList& errorList, bool aAskedUser);
  static bool LocateVelmont();
  static bool LocateQuenda();
  static bool SearchShareForApp();
  static bool AppLocationExists();
};

}  // namespace zl
