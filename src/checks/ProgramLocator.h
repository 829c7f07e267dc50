#pragma once
// ProgramLocator: step 4, finding the application's executable.

#include <string>

#include "model/LaunchRun.h"

namespace zl {

class ProgramLocator {
 public:
  ProgramLocator() = delete;
  static void Locate(LaunchRun& run);

 private:
  // askedUser: the location was just picked by the user in this launch.
  static void Locate(LaunchRun& run, bool askedUser);
  static bool LocateVelmont(LaunchRun& run);
  static bool LocateQuenda(LaunchRun& run);
  // The application at its standard place below the share (relativePath starts with '\\'),
  // with the type setter of that application.
  static bool LocateOnShare(LaunchRun& run, const std::wstring& relativePath,
                            void (LauncherOptions::*setType)(bool));
  static bool SearchShareForApp(LaunchRun& run);
  static bool AppLocationExists(LaunchRun& run);
};

}  // namespace zl
