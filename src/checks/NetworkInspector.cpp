#include "checks/NetworkInspector.h"

#include <string>

#include "discovery/OrvexLocator.h"
#include "utils/Text.h"

namespace zl {

void NetworkInspector::Inspect(LaunchRun& run) {
  const std::wstring address = run.options.OrvexAddress();
  if (address.empty()) return;

  const std::wstring share = L"\\\\" + address + L"\\zelkora$";
  // A fresh name on every launch, so a file left behind earlier is never taken for ours.
  const std::wstring testName = run.System().NewGuidText();

  // Makes the shell log on to the share with the user's credentials before it is tested.
  run.cache.ProbeDir(share + L"\\" + testName + L".exe");

  IFileSystem& files = run.Files();
  FileAttributes attributes = files.GetAttributes(share);
  if (attributes.exists && attributes.directory) {
    const std::wstring testFile = share + L"\\" + testName + L".txt";
    if (files.CreateEmptyFile(testFile)) {
      // A file that cannot be deleted again does not stop the launch.
      files.DeleteFile(testFile);
      run.options.SetShareLocation(share);
    } else {
      AddFinding(run.findings,
                 FormatS(L"The Zelkora Launcher is unable to connect to the shared folder %s on "
                         L"the Orvex computer with the current user %s.  Check that the folder is "
                         L"shared and this user has R/W permission on the shared folder.",
                         {share, run.System().UserName()}),
                 ErrorSeverity::Critical);
    }
  } else {
    AddFinding(run.findings,
               FormatS(L"Zelkora Launcher has detected a Orvex running on the computer %s "
                       L"(%s).\r\n\r\nThe network share %s does not appear to be valid.  Please "
                       L"check that this network share exists and try again.",
                       {address, OrvexLocator::ResolveAddress(run.Network(), address), share}),
               ErrorSeverity::Critical);
  }
}

}  // namespace zl
