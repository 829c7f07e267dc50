#pragma once
// AppInspector: step 5, the application's prerequisites, the database engine settings of
// Quenda, and the installers offered for what is missing. Class operations only.

#include <string>

#include "model/LaunchRun.h"

namespace zl {

class AppInspector {
 public:
  AppInspector() = delete;
  static void Inspect(LaunchRun& run);
  static void InstallCrystal(LaunchRun& run);
  static void InstallBarcodeFonts(LaunchRun& run);
  static void InstallBrailleFonts(LaunchRun& run);

 private:
  // Probes; none of them changes anything.
  static bool GetCrystalXIVersion(LaunchRun& run, int& a, int& b, int& c, int& d);
  static std::wstring GetComServerPath(IRegistry& reg, const std::wstring& progId);
  static bool Crystal85Installed(LaunchRun& run);
  static bool IsCrystal85Patched(LaunchRun& run);
  static bool BarcodeFontsInstalled(LaunchRun& run);
  static bool BrailleFontsInstalled(LaunchRun& run);
  static bool HasEnoughMemory(LaunchRun& run, float gigabytes);
  static bool HasScreenSize(LaunchRun& run, int width, int height);

  // The database engine settings of Quenda.
  static void CheckBDEConfig(LaunchRun& run);
  static void WriteBDEConfig(LaunchRun& run);
  static std::wstring GetShareRoot(const LauncherOptions& options, bool escape);

  // Installers.
  static void InstallCrystalXI(LaunchRun& run);
  static void InstallCrystal85(LaunchRun& run);
  static void InstallCrystal85Patch(LaunchRun& run);
  // Waits up to a minute for the patch's marker, then records the patch.
  static void AwaitPatchMarker(LaunchRun& run);
};

}  // namespace zl
