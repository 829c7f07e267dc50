#include "checks/ProgramLocatorDef.h"

#include <string>

#include "discovery/OrvexLocatorDef.h"
#include "launcher/LauncherOptionsDef.h"
#include "platform/Platform.h"
#include "utils/Text.h"

namespace zl {

namespace {

// A path that cannot be examined counts as missing.
bool FileExists(const std::wstring& aPath) {
  FileAttributes attributes = Platform().files->GetAttributes(aPath);
  return attributes.exists && !attributes.directory;
}

bool NamesLauncher(const std::wstring& aPath) {
  return Contains(UpperAscii(aPath), L"ZELKORALAUNCHER.EXE");
}

bool EndsWithExe(const std::wstring& aName) {
  return aName.size() >= 4 && LowerAscii(aName.substr(aName.size() - 4)) == L".exe";
}

std::wstring JoinPath(const std::wstring& aDir, const std::wstring& aName) {
  if (!aDir.empty() && aDir.back() == L'\\') return aDir + aName;
  return aDir + L"\\" + aName;
}

// Walks aDir depth first in listing order and keeps the last executable of either application.
// Linked folders are not entered: a junction back to an ancestor would make the walk endless.
// False when some folder could not be listed.
bool WalkForApp(const std::wstring& aDir, std::wstring& aLastMatch) {
  bool complete = true;
  bool listed = Platform().files->ListDirectory(aDir, [&](const DirEntry& entry) {
    std::wstring path = JoinPath(aDir, entry.name);
    if (entry.attributes.directory) {
      if (entry.attributes.reparsePoint) return true;
      complete = WalkForApp(path, aLastMatch);
      return complete;
    }
    // Matched here rather than with a "*.exe" listing, which also matches the 8.3 short names
    // of files with longer extensions.
    if (EndsWithExe(entry.name)) {
      std::wstring lower = LowerAscii(path);
      if (Contains(lower, L"velmont.exe") || Contains(lower, L"quenda.exe")) aLastMatch = path;
    }
    return true;
  });
  return listed && complete;
}

}  // namespace

void TProgramLocator::Locate(TLaunchErrorList& errorList) { Locate(errorList, false); }

void TProgramLocator::Locate(TLaunchErrorList& errorList, bool aAskedUser) {
  if (!LauncherOptions.AppLocation().empty() && NamesLauncher(LauncherOptions.AppLocation())) {
    if (!aAskedUser) {
      LauncherOptions.SetAppLocation(TOrvexLocator::LocateApp());
      LauncherOptions.Save();
      Locate(errorList, true);
      return;
    }
    // The user's pick names the launcher again. Asking once more could go on for ever, and
    // starting it could start the launcher itself, so it is treated like no pick: the share is
    // searched. The saved value stays, so the next launch asks again.
    LauncherOptions.SetAppLocation(L"");
  }

  if (!LauncherOptions.AppLocation().empty()) {
    if (!AppLocationExists())
      AddFinding(errorList,
                 FormatS(L"The Zelkora Launcher is unable to find specified Application file %s. "
                         L"Check that the file exists, the folder is shared, and this user has "
                         L"permission on the shared file and folder.",
                         {LauncherOptions.AppLocation()}),
                 esCritical);
    return;
  }

  if (LocateVelmont() || LocateQuenda() || SearchShareForApp()) return;
  AddFinding(errorList,
             FormatS(L"The Zelkora Launcher is unable to connect to find Velmont or Quenda on the "
                     L"shared folder %s on the Orvex computer. Check that the Velmont or Quenda "
                     L"program exists inside the shared folder.",
                     {LauncherOptions.ShareLocation()}),
             esCritical);
}

bool TProgramLocator::AppLocationExists() { return FileExists(LauncherOptions.AppLocation()); }

bool TProgramLocator::LocateVelmont() {
  std::wstring path = LauncherOptions.ShareLocation() + L"\\Velmont\\Velmont.exe";
  if (!FileExists(path)) return false;
  LauncherOptions.SetAppLocation(path);
  LauncherOptions.SetIsVelmont(true);
  return true;
}

bool TProgramLocator::LocateQuenda() {
  std::wstring path = LauncherOptions.ShareLocation() + L"\\Quenda\\Quenda.exe";
  if (!FileExists(path)) return false;
  LauncherOptions.SetAppLocation(path);
  LauncherOptions.SetIsQuenda(true);
  return true;
}

bool TProgramLocator::SearchShareForApp() {
  const std::wstring share = LauncherOptions.ShareLocation();
  if (share.empty()) return false;
  // Only the last match is kept while walking, and only a complete walk changes the location:
  // a folder that cannot be listed ends the search quietly.
  std::wstring lastMatch;
  try {
    if (!WalkForApp(share, lastMatch) || lastMatch.empty()) return false;
  } catch (...) {
    return false;
  }
  bool velmont = Contains(LowerAscii(lastMatch), L"velmont.exe");
  LauncherOptions.SetAppLocation(lastMatch);
  if (velmont)
    LauncherOptions.SetIsVelmont(true);
  else
    LauncherOptions.SetIsQuenda(true);
  return true;
}

}  // namespace zl
