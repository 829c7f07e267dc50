#include "prerequisites/AppInspector.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "checks/PCInspector.h"
#include "model/LauncherOptions.h"
#include "platform/Platform.h"
#include "model/LauncherUtils.h"
#include "model/Trace.h"
#include "utils/Text.h"
#include "utils/RegistryValues.h"
#include "utils/Paths.h"
#include "prerequisites/BdeConfig.h"
#include "prerequisites/Installer.h"

namespace zl {

namespace {

const wchar_t* const kCrystalXIMissing =
    L"The Crystal Reports XI viewer does not appear to be installed on this computer.  Though "
    L"Velmont will run, you will receive errors if you attempt to preview or print any invoice, "
    L"estimate, or other report.\r\n\r\nDo you want to download and install the Crystal drivers "
    L"now?";
const wchar_t* const kCrystalXIWrongVersion =
    L"The Crystal Reports XI viewer does not appear to be the correct version on this computer.  "
    L"Though Velmont will run, you will receive errors if you attempt to preview or print any "
    L"invoice, estimate, or other report.\r\n\r\nDo you want to download and install the Crystal "
    L"drivers now?";
const wchar_t* const kBarcodeMissing =
    L"Barcode Fonts does not appear to be installed on this computer.  Though Velmont will run, "
    L"barcodes on reports will not print correctly.\r\n\r\nDo you want to download and install "
    L"the Barcode fonts now?";
const wchar_t* const kBrailleMissing =
    L"Braille Fonts does not appear to be installed on this computer.  Though Velmont will run, "
    L"braille on certain components and reports will not print correctly.\r\n\r\nDo you want to "
    L"download and install the braille fonts now?";
const wchar_t* const kVelmontMemory =
    L"Zelkora recommends at least 2 GB of memory on all computers running Velmont.  Inadequate "
    L"memory will result in slow performance.";
const wchar_t* const kVelmontScreen =
    L"Your screen resolution is below the 1024 x 768 values recommended for Velmont.  Certain "
    L"information may not be shown off the screen and working in some screens may require "
    L"excessive scrolling.";
const wchar_t* const kCrystal85Missing =
    L"The Crystal Reports 8.5 viewer does not appear to be installed on this computer.  Though "
    L"Quenda will run, you will receive errors if you attempt to preview or print any invoice, "
    L"estimate, or other report\r\n\r\nDo you want to download and install the Crystal drivers "
    L"now?";
const wchar_t* const kCrystal85Unpatched =
    L"A patch for Crystal Reports 8.5 viewer does not appear to be installed on this computer.  "
    L"Though Quenda will run, you will receive errors if you attempt to preview or print any "
    L"invoice, estimate, or other report as a PDF\r\n\r\nDo you want to download and install the "
    L"Crystal patch now?";
const wchar_t* const kQuendaMemory =
    L"Zelkora recommends at least 1 GB of memory on all computers running Quenda.  Inadequate "
    L"memory will result in slow performance";
const wchar_t* const kQuendaScreen =
    L"Your screen resolution is below the 800 x 600 values recommended for Quenda.  Certain "
    L"information may not be shown off the screen and working in some screens may require "
    L"excessive scrolling.";

const wchar_t* const kCrystal85PatchedValue = L"Crystal85Patched";

const wchar_t* const kBdeKey = L"SOFTWARE\\Borland\\Database Engine";
const wchar_t* const kParadoxInitKey =
    L"SOFTWARE\\Borland\\Database Engine\\Settings\\DRIVERS\\PARADOX\\INIT";

bool FileExists(const std::wstring& path) {
  FileAttributes a = Platform().files->GetAttributes(path);
  return a.exists && !a.directory;
}

// A string value as the engine's settings hold it; missing reads as empty. A value of another
// type, or one that cannot be read, raises.
std::wstring ReadBdeText(const std::wstring& key, const std::wstring& name) {
  return ReadStringValue(RegRoot::LocalMachine, key, name, RegView::Default).value_or(L"");
}

// The plain add: nothing this step finds can stop the launch.
void Report(LaunchErrorList& list, const wchar_t* message, ErrorSeverity severity) {
  list.Add(std::make_shared<LaunchError>(message, severity));
}

struct InstallerRow {
  const wchar_t* fileName;  // also the name shown while downloading
  const wchar_t* downloadPath;
  bool elevate;
};

const InstallerRow kCrystalXIRow = {L"Crystal Reports XI.msi",
                                    L"/Velmont/Crystal%20Reports%20XI%20Installer.msi", false};
const InstallerRow kBarcodeRow = {L"BarCode Fonts Installer.msi",
                                  L"/Velmont/BarCode%20Fonts%20Installer.msi", false};
const InstallerRow kBrailleRow = {L"Braille Fonts.msi", L"/Velmont/Braille%20Fonts.msi", false};
const InstallerRow kCrystal85Row = {L"Crystal 8.5.msi", L"/Quenda/Crystal%208.5.msi", false};
const InstallerRow kPatch64Row = {L"Windows 7 64bit Crystal Update.exe",
                                  L"/Quenda/Windows%207%2064bit%20Crystal%20Update.exe", true};
const InstallerRow kPatch32Row = {L"Windows 7 32bit Crystal Update.exe",
                                  L"/Quenda/Windows%207%2032bit%20Crystal%20Update.exe", true};

void InstallRow(const InstallerRow& row, const std::function<void()>& afterRun = nullptr) {
  Installer::Install(row.fileName, row.fileName, Options().DownloadServer() + row.downloadPath,
                     row.elevate, L"", afterRun);
}

}  // namespace

// ---------------------------------------------------------------- the checks

void AppInspector::Inspect(LaunchErrorList& errorList) {
  const LauncherOptions& o = Options();
  if (o.IsVelmont()) {
    if (!o.SkipCR()) {
      int a = 0, b = 0, c = 0, d = 0;
      const bool found = GetCrystalXIVersion(a, b, c, d);
      Trace::Line(found ? L"Report viewer runtime version " + IntToText(a) + L"." + IntToText(b) +
                              L"." + IntToText(c) + L"." + IntToText(d)
                        : L"Report viewer runtime not registered");
      if (!found)
        Report(errorList, kCrystalXIMissing, ErrorSeverity::Crystal);
      else if (!(a == 11 && b == 0 && c == 0 && d >= 2495))
        Report(errorList, kCrystalXIWrongVersion, ErrorSeverity::Crystal);
      if (!BarcodeFontsInstalled()) Report(errorList, kBarcodeMissing, ErrorSeverity::Barcode);
    }
    if (!BrailleFontsInstalled()) Report(errorList, kBrailleMissing, ErrorSeverity::Braille);
    if (!o.SkipPC()) {
      if (!HasEnoughMemory(1.9f)) Report(errorList, kVelmontMemory, ErrorSeverity::Warning);
      if (!HasScreenSize(1024, 768)) Report(errorList, kVelmontScreen, ErrorSeverity::Warning);
    }
  } else if (o.IsQuenda()) {
    CheckBDEConfig();
    if (!o.SkipCR()) {
      if (!Crystal85Installed())
        Report(errorList, kCrystal85Missing, ErrorSeverity::Crystal);
      else if (PCInspector::IsWindows7OrHigher() && !IsCrystal85Patched())
        Report(errorList, kCrystal85Unpatched, ErrorSeverity::Crystal);
    }
    if (!o.SkipPC()) {
      if (!HasEnoughMemory(1.0f)) Report(errorList, kQuendaMemory, ErrorSeverity::Warning);
      if (!HasScreenSize(800, 600)) Report(errorList, kQuendaScreen, ErrorSeverity::Warning);
    }
  }
}

bool AppInspector::GetCrystalXIVersion(int& a, int& b, int& c, int& d) {
  a = b = c = d = 0;
  std::wstring path = GetComServerPath(L"CrystalRuntime.Report.11");
  if (path.empty() || !FileExists(path)) return false;
  // A file without readable version information counts as installed in the wrong version.
  if (std::optional<FileVersion> v = Platform().system->FileVersionOf(path)) {
    a = v->a;
    b = v->b;
    c = v->c;
    d = v->d;
  }
  return true;
}

std::wstring AppInspector::GetComServerPath(const std::wstring& progId) {
  // The default view: a 32-bit program must load the 32-bit server, which 64-bit Windows
  // registers in the redirected branch.
  IRegistry& reg = *Platform().registry;
  try {
    RegValue clsid =
        reg.ReadValue(RegRoot::ClassesRoot, progId + L"\\CLSID", L"", RegView::Default);
    if (clsid.kind != RegKind::String && clsid.kind != RegKind::ExpandString) return L"";
    // The class identifier becomes part of a key path; one holding a backslash would lead
    // elsewhere in the tree.
    if (clsid.text.empty() || clsid.text.find(L'\\') != std::wstring::npos) return L"";
    RegValue server = reg.ReadValue(
        RegRoot::ClassesRoot, L"CLSID\\" + clsid.text + L"\\InprocServer32", L"", RegView::Default);
    if (server.kind != RegKind::String && server.kind != RegKind::ExpandString) return L"";
    return server.text;
  } catch (...) {
    return L"";
  }
}

bool AppInspector::Crystal85Installed() { return FileExists(GetSystemDir() + L"\\crpe32.dll"); }

bool AppInspector::IsCrystal85Patched() {
  // Another value type than a number is simply not the mark of a patched runtime.
  RegValue v = Platform().registry->ReadValue(RegRoot::CurrentUser, kLauncherKey,
                                              kCrystal85PatchedValue, RegView::Reg64);
  return v.kind == RegKind::Dword && v.dword != 0;
}

bool AppInspector::BarcodeFontsInstalled() {
  if (FileExists(GetSystemDir() + L"\\u2ldfont.dll")) return true;
  return FileExists(GetWindowsDir() + L"\\SysWow64\\u2ldfont.dll");
}

bool AppInspector::BrailleFontsInstalled() {
  return FileExists(GetWindowsDir() + L"\\fonts\\BRAILLE.TTF");
}

bool AppInspector::HasEnoughMemory(float gigabytes) {
  // A system without the memory query reports nothing, which fails the test.
  uint64_t total = Platform().system->TotalPhysicalMemory().value_or(0);
  Trace::Line(L"Memory " + IntToText(static_cast<int>(total >> 20)) + L" MiB, wanted " +
              IntToText(static_cast<int>(gigabytes * 1024)) + L" MiB");
  return static_cast<double>(total) / 1073741824.0 >= static_cast<double>(gigabytes);
}

bool AppInspector::HasScreenSize(int width, int height) {
  ISystem& system = *Platform().system;
  Trace::Line(L"Screen " + IntToText(system.ScreenWidth()) + L" x " +
              IntToText(system.ScreenHeight()) + L", wanted " + IntToText(width) + L" x " +
              IntToText(height));
  return system.ScreenWidth() >= width && system.ScreenHeight() >= height;
}

std::wstring AppInspector::GetSystemDir() { return Platform().system->SystemDirectory(); }

std::wstring AppInspector::GetWindowsDir() { return Platform().system->WindowsDirectory(); }

// ---------------------------------------------------------------- database engine settings

void AppInspector::CheckBDEConfig() {
  const std::wstring root = GetShareRoot(false);
  IRegistry& reg = *Platform().registry;
  bool rewrite = false;
  // A key that cannot be opened counts as a difference; any other read error, a value of the
  // wrong type included, ends its block without counting as one.
  try {
    if (!reg.KeyExists(RegRoot::LocalMachine, kBdeKey, RegView::Default)) {
      rewrite = true;
    } else {
      if (ReadBdeText(kBdeKey, L"DLLPATH") != root + L"\\Common\\BDE\\") rewrite = true;
      if (ReadBdeText(kBdeKey, L"ConfigFile01") != root + L"\\Common\\BDE\\idapi32.cfg")
        rewrite = true;
    }
  } catch (const LauncherError&) {
  }
  try {
    if (!reg.KeyExists(RegRoot::LocalMachine, kParadoxInitKey, RegView::Default)) {
      rewrite = true;
    } else if (ReadBdeText(kParadoxInitKey, L"NET DIR") != root + L"\\Common\\") {
      rewrite = true;
    }
  } catch (const LauncherError&) {
  }
  if (rewrite) WriteBDEConfig();
}

void AppInspector::WriteBDEConfig() {
  const std::wstring root = GetShareRoot(true);
  if (!BdeConfig::FitsInRegValue(root)) return;
  const std::wstring file = BdeConfig::RegFilePath(GetTempDir());
  if (file.empty()) return;
  const std::wstring text = BdeConfig::RegText(root, LauncherUtils::Is64Bit());
  // A share name the code page cannot hold exactly is refused like one with a quote.
  const std::optional<std::string> bytes = Platform().system->AnsiText(text);
  if (!bytes) return;

  {
    std::unique_ptr<IWriteStream> out = Platform().files->CreateWrite(file);
    out->Write(bytes->data(), bytes->size());
    out->Close();
  }
  // The editor writes HKLM elevated. Which of its builds runs does not matter: the key lines
  // name the Wow6432Node branch themselves.
  LauncherUtils::RunExecutableFile(L"c:\\windows\\regedit.exe", L"/s \"" + file + L"\"", false,
                                   true);
  Platform().files->DeleteFile(file);
}

std::wstring AppInspector::GetShareRoot(bool escape) {
  const LauncherOptions& o = Options();
  std::wstring root;
  if (!o.OrvexAddress().empty() || o.AppLocation().empty())
    root = L"\\\\" + o.OrvexAddress() + L"\\Zelkora$";
  else
    root = GetDir(o.AppLocation()) + L"..";
  return escape ? BdeConfig::DoubleBackslashes(root) : root;
}

std::wstring AppInspector::GetTempDir() { return Platform().files->TempPath(); }

// ---------------------------------------------------------------- installers

void AppInspector::InstallCrystal() {
  if (Options().IsVelmont()) {
    InstallCrystalXI();
  } else if (Options().IsQuenda()) {
    // Decided again now: the runtime may have been installed since the finding was made.
    if (Crystal85Installed())
      InstallCrystal85Patch();
    else
      InstallCrystal85();
  }
}

void AppInspector::InstallBarcodeFonts() { InstallRow(kBarcodeRow); }

void AppInspector::InstallBrailleFonts() { InstallRow(kBrailleRow); }

void AppInspector::InstallCrystalXI() { InstallRow(kCrystalXIRow); }

void AppInspector::InstallCrystal85() {
  InstallRow(kCrystal85Row);
  if (PCInspector::IsWindows7OrHigher()) InstallCrystal85Patch();
}

void AppInspector::InstallCrystal85Patch() {
  // The patch program may still be at work from its folder when it returns: the folder stays
  // until the marker wait is over.
  InstallRow(LauncherUtils::Is64Bit() ? kPatch64Row : kPatch32Row, [] { AwaitPatchMarker(); });
}

void AppInspector::AwaitPatchMarker() {
  // The patch program tells its success only by leaving this marker in the home folder.
  ISystem& system = *Platform().system;
  const std::wstring marker =
      system.Environment(L"HomeDrive") + system.Environment(L"HomePath") + L"\\CrystalPatched.txt";
  int sleeps = 0;
  while (!LauncherUtils::CheckFile(marker) && sleeps < 60) {
    system.Sleep(1000);
    ++sleeps;
  }
  if (!LauncherUtils::CheckFile(marker)) return;

  // The launcher's own key lives in the 64-bit view, as everywhere else.
  IRegistry& reg = *Platform().registry;
  if (reg.CreateKey(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64)) {
    // A refused write leaves the flag unset like a refused key: the offer comes back next time,
    // and the launch goes on.
    reg.WriteDword(RegRoot::CurrentUser, kLauncherKey, kCrystal85PatchedValue, 1, RegView::Reg64);
  }
  Platform().files->DeleteFile(marker);
}

}  // namespace zl
