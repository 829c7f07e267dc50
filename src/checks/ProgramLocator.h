#pragma once
// ProgramLocator: step 4, finding the application's executable.

#include <string>

#include "model/LaunchError.h"
#include "model/LauncherOptions.h"

namespace zl {

class ProgramLocator {
 public:
  ProgramLocator() = delete;
  static void Locate(LaunchErrorList& errorList);

 private:
  // askedUser: the location was just picked by the user in this launch.
  static void Locate(LaunchErrorList& errorList, bool askedUser);
  static bool LocateVelmont();
  static bool LocateQuenda();
  // The application at its standard place below the share (relativePath starts with '\\'),
  // with the type setter of that application.
  static bool LocateOnShare(const std::wstring& relativePath,
                            void (LauncherOptions::*setType)(bool));
  static bool SearchShareForApp();
  static bool AppLocationExists();
};

}  // namespace zl
