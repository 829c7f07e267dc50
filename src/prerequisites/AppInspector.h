#pragma once
// AppInspector: step 5, the application's prerequisites, the database engine settings of
// Quenda, and the installers offered for what is missing. Class operations only.

#include <string>

#include "model/LaunchError.h"

namespace zl {

class AppInspector {
 public:
  AppInspector() = delete;
  static void Inspect(LaunchErrorList& errorList);
  static void InstallCrystal();
  static void InstallBarcodeFonts();
  static void InstallBrailleFonts();

 private:
  // Probes; none of them changes anything.
  static bool GetCrystalXIVersion(int& a, int& b, int& c, int& d);
  static std::wstring GetComServerPath(const std::wstring& progId);
  static bool Crystal85Installed();
  static bool IsCrystal85Patched();
  static bool BarcodeFontsInstalled();
  static bool BrailleFontsInstalled();
  static bool HasEnoughMemory(float gigabytes);
  static bool HasScreenSize(int width, int height);
  static std::wstring GetSystemDir();
  static std::wstring GetWindowsDir();

  // The database engine settings of Quenda.
  static void CheckBDEConfig();
  static void WriteBDEConfig();
  static std::wstring GetShareRoot(bool escape);
  static std::wstring GetTempDir();

  // Installers.
  static void InstallCrystalXI();
  static void InstallCrystal85();
  static void InstallCrystal85Patch();
  // Waits up to a minute for the patch's marker, then records the patch.
  static void AwaitPatchMarker();
};

}  // namespace zl
