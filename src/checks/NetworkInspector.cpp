#include "checks/NetworkInspector.h"

#include <string>

#include "discovery/OrvexLocator.h"
#include "model/LauncherOptions.h"
#include "platform/Platform.h"
#include "model/ShareCache.h"
#include "utils/Text.h"

namespace zl {

void NetworkInspector::Inspect(LaunchErrorList& errorList) {
  const std::wstring address = Options().OrvexAddress();
  if (address.empty()) return;

  const std::wstring share = L"\\\\" + address + L"\\zelkora$";
  // A fresh name on every launch, so a file left behind earlier is never taken for ours.
  const std::wstring testName = Platform().system->NewGuidText();

  // Makes the shell log on to the share with the user's credentials before it is tested.
  ShareCache::ProbeDir(share + L"\\" + testName + L".exe");

  IFileSystem& files = *Platform().files;
  FileAttributes attributes = files.GetAttributes(share);
  if (attributes.exists && attributes.directory) {
    const std::wstring testFile = share + L"\\" + testName + L".txt";
    if (files.CreateEmptyFile(testFile)) {
      // A file that cannot be deleted again does not stop the launch.
      files.DeleteFile(testFile);
      Options().SetShareLocation(share);
    } else {
      AddFinding(errorList,
                 FormatS(L"The Zelkora Launcher is unable to connect to the shared folder %s on "
                         L"the Orvex computer with the current user %s.  Check that the folder is "
                         L"shared and this user has R/W permission on the shared folder.",
                         {share, Platform().system->UserName()}),
                 ErrorSeverity::Critical);
    }
  } else {
    AddFinding(errorList,
               FormatS(L"Zelkora Launcher has detected a Orvex running on the computer %s "
                       L"(%s).\r\n\r\nThe network share %s does not appear to be valid.  Please "
                       L"check that this network share exists and try again.",
                       {address, OrvexLocator::ResolveAddress(address), share}),
               ErrorSeverity::Critical);
  }
}

}  // namespace zl
