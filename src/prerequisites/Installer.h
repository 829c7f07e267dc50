#pragma once
// Installer: gets one installer into a folder of its own (the share's copy in its Common folder
// when there is one, else a download through the "Installer" window), asks the admin's policy
// about it, and runs what the policy approved by its file type. Refusals and failures are
// reported to the user here, and only here. Class operations only.

#include <functional>
#include <string>

#include "model/LaunchRun.h"

namespace zl {

class Installer {
 public:
  Installer() = delete;

  // displayName is what the "Installer" window names while it downloads; fileName the file in
  // the share's Common folder; url where to download it when the share has none.
  // The installer runs in a folder of its own under the temporary folder, which is removed
  // once afterRun (when given) has run too; when no such folder can be made nothing is copied,
  // downloaded or run, and the user is told so.
  static void Install(LaunchRun& run, const std::wstring& displayName, const std::wstring& fileName,
                      const std::wstring& url, bool elevate, const std::wstring& unzipPath,
                      const std::function<void()>& afterRun = nullptr);
  // An .msi goes to msiexec, an .exe is run, a .zip is unpacked into unzipPath.
  static void InstallOrRun(const PlatformServices& ports, const std::wstring& fileName,
                           bool elevate, const std::wstring& unzipPath);
  // Tells the user, through the error dialog with OK, that the installer fileName was not run:
  // 'The file "<fileName>" <why>. It was not run.', and detail, when given, as a paragraph of
  // its own.
  static void ReportNotRun(IUserInterface& ui, const std::wstring& fileName,
                           const std::wstring& why, const std::wstring& detail = std::wstring());

 private:
  // The policy's verdict on path, the installer named fileName: run it, or tell the user why
  // not. True when it ran.
  static bool RunIfApproved(LaunchRun& run, const std::wstring& fileName, const std::wstring& path,
                            bool elevate, const std::wstring& unzipPath);
};

}  // namespace zl
