#include "checks/ProgramLocator.h"

#include <string>

#include "discovery/OrvexLocator.h"
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
bool WalkForApp(IFileSystem& files, const std::wstring& dir, std::wstring& lastMatch) {
  bool complete = true;
  bool listed = files.ListDirectory(dir, [&](const DirEntry& entry) {
    std::wstring path = JoinPath(dir, entry.name);
    if (entry.attributes.directory) {
      if (entry.attributes.reparsePoint) return true;
      complete = WalkForApp(files, path, lastMatch);
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

void ProgramLocator::Locate(LaunchRun& run) { Locate(run, false); }

void ProgramLocator::Locate(LaunchRun& run, bool askedUser) {
  if (!run.options.AppLocation().empty() && NamesLauncher(run.options.AppLocation())) {
    if (!askedUser) {
      run.options.SetAppLocation(OrvexLocator::LocateApp(run.Ports()));
      run.options.Save(run.Registry());
      Locate(run, true);
      return;
    }
    // The user's pick names the launcher again. Asking once more could go on for ever, and
    // starting it could start the launcher itself, so it is treated like no pick: the share is
    // searched. The saved value stays, so the next launch asks again.
    run.options.SetAppLocation(L"");
  }

  if (!run.options.AppLocation().empty()) {
    if (!AppLocationExists(run))
      AddFinding(run.findings,
                 FormatS(L"The Zelkora Launcher is unable to find specified Application file %s. "
                         L"Check that the file exists, the folder is shared, and this user has "
                         L"permission on the shared file and folder.",
                         {run.options.AppLocation()}),
                 ErrorSeverity::Critical);
    return;
  }

  if (LocateVelmont(run) || LocateQuenda(run) || SearchShareForApp(run)) return;
  AddFinding(run.findings,
             FormatS(L"The Zelkora Launcher is unable to connect to find Velmont or Quenda on the "
                     L"shared folder %s on the Orvex computer. Check that the Velmont or Quenda "
                     L"program exists inside the shared folder.",
                     {run.options.ShareLocation()}),
             ErrorSeverity::Critical);
}

bool ProgramLocator::AppLocationExists(LaunchRun& run) {
  return run.cache.FileExists(run.options.AppLocation());
}

bool ProgramLocator::LocateVelmont(LaunchRun& run) {
  return LocateOnShare(run, L"\\Velmont\\Velmont.exe", &LauncherOptions::SetIsVelmont);
}

bool ProgramLocator::LocateQuenda(LaunchRun& run) {
  return LocateOnShare(run, L"\\Quenda\\Quenda.exe", &LauncherOptions::SetIsQuenda);
}

bool ProgramLocator::LocateOnShare(LaunchRun& run, const std::wstring& relativePath,
                                   void (LauncherOptions::*setType)(bool)) {
  std::wstring path = run.options.ShareLocation() + relativePath;
  if (!run.cache.FileExists(path)) return false;
  run.options.SetAppLocation(path);
  // The type is the place's, whatever else the share's name holds.
  (run.options.*setType)(true);
  return true;
}

bool ProgramLocator::SearchShareForApp(LaunchRun& run) {
  const std::wstring share = run.options.ShareLocation();
  if (share.empty()) return false;
  // Only the last match is kept while walking, and only a complete walk changes the location:
  // a folder that cannot be listed ends the search quietly.
  std::wstring lastMatch;
  try {
    if (!WalkForApp(run.Files(), share, lastMatch) || lastMatch.empty()) return false;
  } catch (...) {
    return false;
  }
  bool velmont = Contains(LowerAscii(lastMatch), L"velmont.exe");
  run.options.SetAppLocation(lastMatch);
  if (velmont)
    run.options.SetIsVelmont(true);
  else
    run.options.SetIsQuenda(true);
  return true;
}

}  // namespace zl
