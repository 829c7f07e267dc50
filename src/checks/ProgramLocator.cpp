#include "checks/ProgramLocator.h"

#include <string>

#include "discovery/OrvexLocator.h"
#include "model/LauncherOptions.h"
#include "model/ShareCache.h"
#include "platform/Platform.h"
#include "utils/Text.h"
#include "utils/Paths.h"

namespace zl {

namespace {

bool NamesLauncher(const std::wstring& path) {
  return Contains(UpperAscii(path), L"ZELKORALAUNCHER.EXE");
}

bool EndsWithExe(const std::wstring& name) {
  return name.size() >= 4 && LowerAscii(name.substr(name.size() - 4)) == L".exe";
}

// Walks dir depth first in listing order and keeps the last executable of either application.
// Linked folders are not entered: a junction back to an ancestor would make the walk endless.
// False when some folder could not be listed.
bool WalkForApp(const std::wstring& dir, std::wstring& lastMatch) {
  bool complete = true;
  bool listed = Platform().files->ListDirectory(dir, [&](const DirEntry& entry) {
    std::wstring path = JoinPath(dir, entry.name);
    if (entry.attributes.directory) {
      if (entry.attributes.reparsePoint) return true;
      complete = WalkForApp(path, lastMatch);
      return complete;
    }
    // Matched here rather than with a "*.exe" listing, which also matches the 8.3 short names
    // of files with longer extensions.
    if (EndsWithExe(entry.name)) {
      std::wstring lower = LowerAscii(path);
      if (Contains(lower, L"velmont.exe") || Contains(lower, L"quenda.exe")) lastMatch = path;
    }
    return true;
  });
  return listed && complete;
}

}  // namespace

void ProgramLocator::Locate(LaunchErrorList& errorList) { Locate(errorList, false); }

void ProgramLocator::Locate(LaunchErrorList& errorList, bool askedUser) {
  if (!Options().AppLocation().empty() && NamesLauncher(Options().AppLocation())) {
    if (!askedUser) {
      Options().SetAppLocation(OrvexLocator::LocateApp());
      Options().Save();
      Locate(errorList, true);
      return;
    }
    // The user's pick names the launcher again. Asking once more could go on for ever, and
    // starting it could start the launcher itself, so it is treated like no pick: the share is
    // searched. The saved value stays, so the next launch asks again.
    Options().SetAppLocation(L"");
  }

  if (!Options().AppLocation().empty()) {
    if (!AppLocationExists())
      AddFinding(errorList,
                 FormatS(L"The Zelkora Launcher is unable to find specified Application file %s. "
                         L"Check that the file exists, the folder is shared, and this user has "
                         L"permission on the shared file and folder.",
                         {Options().AppLocation()}),
                 ErrorSeverity::Critical);
    return;
  }

  if (LocateVelmont() || LocateQuenda() || SearchShareForApp()) return;
  AddFinding(errorList,
             FormatS(L"The Zelkora Launcher is unable to connect to find Velmont or Quenda on the "
                     L"shared folder %s on the Orvex computer. Check that the Velmont or Quenda "
                     L"program exists inside the shared folder.",
                     {Options().ShareLocation()}),
             ErrorSeverity::Critical);
}

bool ProgramLocator::AppLocationExists() { return ShareCache::FileExists(Options().AppLocation()); }

bool ProgramLocator::LocateVelmont() {
  return LocateOnShare(L"\\Velmont\\Velmont.exe", &LauncherOptions::SetIsVelmont);
}

bool ProgramLocator::LocateQuenda() {
  return LocateOnShare(L"\\Quenda\\Quenda.exe", &LauncherOptions::SetIsQuenda);
}

bool ProgramLocator::LocateOnShare(const std::wstring& relativePath,
                                   void (LauncherOptions::*setType)(bool)) {
  std::wstring path = Options().ShareLocation() + relativePath;
  if (!ShareCache::FileExists(path)) return false;
  Options().SetAppLocation(path);
  // The type is the place's, whatever else the share's name holds.
  (Options().*setType)(true);
  return true;
}

bool ProgramLocator::SearchShareForApp() {
  const std::wstring share = Options().ShareLocation();
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
  Options().SetAppLocation(lastMatch);
  if (velmont)
    Options().SetIsVelmont(true);
  else
    Options().SetIsQuenda(true);
  return true;
}

}  // namespace zl
