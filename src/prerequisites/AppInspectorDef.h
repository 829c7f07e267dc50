#pragma once
// TAppInspector: step 5, the application's prerequisites, and their installers.

#include "launcher/ErrorUtils.h"

namespace zl {

class TAppInspector {
 public:
  TAppInspector() = delete;
  static void Inspect(TLaunchErrorList& errorList);
  static void InstallCrystal();
  static void InstallBarcodeFonts();
  static void InstallBrailleFonts();
};

}  // namespace zl
