#pragma once
// TAppInspector: step 5, the application's prerequisites, the database engine settings of
// Quenda, and the installers offered for what is missing. Class operations only.

#include <string>

#include "launcher/ErrorUtils.h"

namespace zl {

class TAppInspector {
 public:
  TAppInspector() = delete;
  static void Inspect(TLaunchErrorList& errorList);
  static void InstallCrystal();
  static void InstallBarcodeFonts();
  static void InstallBrailleFonts();

 private:
  // Probes; none of them changes anything.
  static bool GetCrystalXIVersion(int& a, int& b, int& c, int& d);
  static std::wstring GetComServerPath(const std::wstring& aProgID);
  static bool Crystal85Installed();
  static bool IsCrystal85Patched();
  static bool BarcodeFontsInstalled();
  static bool BrailleFontsInstalled();
  static bool HasEnoughMemory(float aGigabytes);
  static bool HasScreenSize(int aWidth, int aHeight);
  static std::wstring GetSystemDir();
  static std::wstring GetWindowsDir();

  // The database engine settings of Quenda.
  static void CheckBDEConfig();
  static void WriteBDEConfig();
  static std::wstring GetShareRoot(bool aEscape);
  static std::wstring GetTempDir();

  // Installers.
  static void InstallCrystalXI();
  static void InstallCrystal85();
  static void InstallCrystal85Patch();
};

}  // namespace zl
