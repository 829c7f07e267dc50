#include "prerequisites/AppInspector.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "checks/PCInspector.h"
#include "model/LauncherUtils.h"
#include "model/Trace.h"
#include "utils/Text.h"
#include "utils/RegistryValues.h"
#include "utils/Paths.h"
#include "prerequisites/BdeConfig.h"
#include "prerequisites/Installer.h"
#include "prerequisites/InstallerFolder.h"

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

bool FileExists(IFileSystem& files, const std::wstring& path) {
  FileAttributes a = files.GetAttributes(path);
  return a.exists && !a.directory;
}

// A string value as the engine's settings hold it; missing reads as empty. A value of another
// type, or one that cannot be read, raises.
std::wstring ReadBdeText(IRegistry& reg, const std::wstring& key, const std::wstring& name) {
  return ReadStringValue(reg, RegRoot::LocalMachine, key, name, RegView::Default).value_or(L"");
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

void InstallRow(LaunchRun& run, const InstallerRow& row,
                const std::function<void()>& afterRun = nullptr) {
  Installer::Install(run, row.fileName, row.fileName,
                     run.options.DownloadServer() + row.downloadPath, row.elevate, L"", afterRun);
}

}  // namespace

// ---------------------------------------------------------------- the checks

void AppInspector::Inspect(LaunchRun& run) {
  const LauncherOptions& o = run.options;
  LaunchErrorList& errorList = run.findings;
  if (o.IsVelmont()) {
    if (!o.SkipCR()) {
      int a = 0, b = 0, c = 0, d = 0;
      const bool found = GetCrystalXIVersion(run, a, b, c, d);
      Trace::Line(found ? L"Report viewer runtime version " + IntToText(a) + L"." + IntToText(b) +
                              L"." + IntToText(c) + L"." + IntToText(d)
                        : L"Report viewer runtime not registered");
      if (!found)
        Report(errorList, kCrystalXIMissing, ErrorSeverity::Crystal);
      else if (!(a == 11 && b == 0 && c == 0 && d >= 2495))
        Report(errorList, kCrystalXIWrongVersion, ErrorSeverity::Crystal);
      if (!BarcodeFontsInstalled(run)) Report(errorList, kBarcodeMissing, ErrorSeverity::Barcode);
    }
    if (!BrailleFontsInstalled(run)) Report(errorList, kBrailleMissing, ErrorSeverity::Braille);
    if (!o.SkipPC()) {
      if (!HasEnoughMemory(run, 1.9f)) Report(errorList, kVelmontMemory, ErrorSeverity::Warning);
      if (!HasScreenSize(run, 1024, 768)) Report(errorList, kVelmontScreen, ErrorSeverity::Warning);
    }
  } else if (o.IsQuenda()) {
    CheckBDEConfig(run);
    if (!o.SkipCR()) {
      if (!Crystal85Installed(run))
        Report(errorList, kCrystal85Missing, ErrorSeverity::Crystal);
      else if (PCInspector::IsWindows7OrHigher(run.System()) && !IsCrystal85Patched(run))
        Report(errorList, kCrystal85Unpatched, ErrorSeverity::Crystal);
    }
    if (!o.SkipPC()) {
      if (!HasEnoughMemory(run, 1.0f)) Report(errorList, kQuendaMemory, ErrorSeverity::Warning);
      if (!HasScreenSize(run, 800, 600)) Report(errorList, kQuendaScreen, ErrorSeverity::Warning);
    }
  }
}

bool AppInspector::GetCrystalXIVersion(LaunchRun& run, int& a, int& b, int& c, int& d) {
  a = b = c = d = 0;
  std::wstring path = GetComServerPath(run.Registry(), L"CrystalRuntime.Report.11");
  if (path.empty() || !FileExists(run.Files(), path)) return false;
  // A file without readable version information counts as installed in the wrong version.
  if (std::optional<FileVersion> v = run.System().FileVersionOf(path)) {
    a = v->a;
    b = v->b;
    c = v->c;
    d = v->d;
  }
  return true;
}

std::wstring AppInspector::GetComServerPath(IRegistry& reg, const std::wstring& progId) {
  // The default view: a 32-bit program must load the 32-bit server, which 64-bit Windows
  // registers in the redirected branch.
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

bool AppInspector::Crystal85Installed(LaunchRun& run) {
  return FileExists(run.Files(), run.System().SystemDirectory() + L"\\crpe32.dll");
}

bool AppInspector::IsCrystal85Patched(LaunchRun& run) {
  // Another value type than a number is simply not the mark of a patched runtime.
  RegValue v = run.Registry().ReadValue(RegRoot::CurrentUser, kLauncherKey, kCrystal85PatchedValue,
                                        RegView::Reg64);
  return v.kind == RegKind::Dword && v.dword != 0;
}

bool AppInspector::BarcodeFontsInstalled(LaunchRun& run) {
  if (FileExists(run.Files(), run.System().SystemDirectory() + L"\\u2ldfont.dll")) return true;
  return FileExists(run.Files(), run.System().WindowsDirectory() + L"\\SysWow64\\u2ldfont.dll");
}

bool AppInspector::BrailleFontsInstalled(LaunchRun& run) {
  return FileExists(run.Files(), run.System().WindowsDirectory() + L"\\fonts\\BRAILLE.TTF");
}

bool AppInspector::HasEnoughMemory(LaunchRun& run, float gigabytes) {
  // A system without the memory query reports nothing, which fails the test.
  uint64_t total = run.System().TotalPhysicalMemory().value_or(0);
  Trace::Line(L"Memory " + IntToText(static_cast<int>(total >> 20)) + L" MiB, wanted " +
              IntToText(static_cast<int>(gigabytes * 1024)) + L" MiB");
  return static_cast<double>(total) / 1073741824.0 >= static_cast<double>(gigabytes);
}

bool AppInspector::HasScreenSize(LaunchRun& run, int width, int height) {
  ISystem& system = run.System();
  Trace::Line(L"Screen " + IntToText(system.ScreenWidth()) + L" x " +
              IntToText(system.ScreenHeight()) + L", wanted " + IntToText(width) + L" x " +
              IntToText(height));
  return system.ScreenWidth() >= width && system.ScreenHeight() >= height;
}

// ---------------------------------------------------------------- database engine settings

void AppInspector::CheckBDEConfig(LaunchRun& run) {
  const std::wstring root = GetShareRoot(run.options, false);
  IRegistry& reg = run.Registry();
  bool rewrite = false;
  // A key that cannot be opened counts as a difference; any other read error, a value of the
  // wrong type included, ends its block without counting as one.
  try {
    if (!reg.KeyExists(RegRoot::LocalMachine, kBdeKey, RegView::Default)) {
      rewrite = true;
    } else {
      if (ReadBdeText(reg, kBdeKey, L"DLLPATH") != root + L"\\Common\\BDE\\") rewrite = true;
      if (ReadBdeText(reg, kBdeKey, L"ConfigFile01") != root + L"\\Common\\BDE\\idapi32.cfg")
        rewrite = true;
    }
  } catch (const LauncherError&) {
  }
  try {
    if (!reg.KeyExists(RegRoot::LocalMachine, kParadoxInitKey, RegView::Default)) {
      rewrite = true;
    } else if (ReadBdeText(reg, kParadoxInitKey, L"NET DIR") != root + L"\\Common\\") {
      rewrite = true;
    }
  } catch (const LauncherError&) {
  }
  if (rewrite) WriteBDEConfig(run);
}

void AppInspector::WriteBDEConfig(LaunchRun& run) {
  const std::wstring root = GetShareRoot(run.options, true);
  if (!BdeConfig::FitsInRegValue(root)) return;
  // Without the Windows folder "\regedit.exe" would name the current drive's root.
  const std::wstring windows = run.System().SystemWindowsDirectory();
  if (windows.empty()) return;
  const std::wstring text = BdeConfig::RegText(root, LauncherUtils::Is64Bit(run.System()));
  // A share name the code page cannot hold exactly is refused like one with a quote.
  const std::optional<std::string> bytes = run.System().AnsiText(text);
  if (!bytes) return;
  // A folder of its own, as for an installer: a fixed name in the temporary folder could be
  // prepared by anyone beforehand. It goes, with the file, when this is done.
  InstallerFolder folder(run.Files(), run.System());
  const std::wstring file = BdeConfig::RegFilePath(folder.Path());
  if (file.empty()) return;
  {
    std::unique_ptr<IWriteStream> out = run.Files().CreateWrite(file);
    out->Write(bytes->data(), bytes->size());
    out->Close();
  }
  // What the editor imports as administrator is exactly the text built here: the file is read
  // back through a hold that nobody can write through until the editor has ended.
  const std::unique_ptr<IHeldFile> held = run.Files().HoldForRun(file);
  const std::optional<std::string> readBack = held ? held->Contents() : std::nullopt;
  if (!readBack || *readBack != *bytes) {
    Trace::Line(
        L"The engine settings were not imported: " + file +
        (held ? L" no longer holds the text written" : L" could not be held for the import"));
    return;
  }
  // The editor writes HKLM elevated, so it is the shared Windows folder's: c:\\windows may be a
  // folder any user made where Windows is elsewhere. Which of its builds runs does not matter:
  // the key lines name the Wow6432Node branch themselves.
  LauncherUtils::RunExecutableFile(run.Ports(), windows + L"\\regedit.exe", L"/s \"" + file + L"\"",
                                   false, true);
}

std::wstring AppInspector::GetShareRoot(const LauncherOptions& o, bool escape) {
  std::wstring root;
  if (!o.OrvexAddress().empty() || o.AppLocation().empty())
    root = L"\\\\" + o.OrvexAddress() + L"\\Zelkora$";
  else
    root = GetDir(o.AppLocation()) + L"..";
  return escape ? BdeConfig::DoubleBackslashes(root) : root;
}

// ---------------------------------------------------------------- installers

void AppInspector::InstallCrystal(LaunchRun& run) {
  if (run.options.IsVelmont()) {
    InstallCrystalXI(run);
  } else if (run.options.IsQuenda()) {
    // Decided again now: the runtime may have been installed since the finding was made.
    if (Crystal85Installed(run))
      InstallCrystal85Patch(run);
    else
      InstallCrystal85(run);
  }
}

void AppInspector::InstallBarcodeFonts(LaunchRun& run) { InstallRow(run, kBarcodeRow); }

void AppInspector::InstallBrailleFonts(LaunchRun& run) { InstallRow(run, kBrailleRow); }

void AppInspector::InstallCrystalXI(LaunchRun& run) { InstallRow(run, kCrystalXIRow); }

void AppInspector::InstallCrystal85(LaunchRun& run) {
  InstallRow(run, kCrystal85Row);
  if (PCInspector::IsWindows7OrHigher(run.System())) InstallCrystal85Patch(run);
}

void AppInspector::InstallCrystal85Patch(LaunchRun& run) {
  // The patch program may still be at work from its folder when it returns: the folder stays
  // until the marker wait is over.
  InstallRow(run, LauncherUtils::Is64Bit(run.System()) ? kPatch64Row : kPatch32Row,
             [&run] { AwaitPatchMarker(run); });
}

void AppInspector::AwaitPatchMarker(LaunchRun& run) {
  // The patch program tells its success only by leaving this marker in the home folder.
  ISystem& system = run.System();
  const std::wstring marker =
      system.Environment(L"HomeDrive") + system.Environment(L"HomePath") + L"\\CrystalPatched.txt";
  int sleeps = 0;
  while (!LauncherUtils::CheckFile(run.Ports(), marker) && sleeps < 60) {
    system.Sleep(1000);
    ++sleeps;
  }
  if (!LauncherUtils::CheckFile(run.Ports(), marker)) return;

  // The launcher's own key lives in the 64-bit view, as everywhere else.
  IRegistry& reg = run.Registry();
  if (reg.CreateKey(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64)) {
    // A refused write leaves the flag unset like a refused key: the offer comes back next time,
    // and the launch goes on.
    reg.WriteDword(RegRoot::CurrentUser, kLauncherKey, kCrystal85PatchedValue, 1, RegView::Reg64);
  }
  run.Files().DeleteFile(marker);
}

}  // namespace zl
