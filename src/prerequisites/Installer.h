#pragma once
// Installer: hands an installer to Windows by its file type, taking the share's copy in its
// Common folder when there is one and downloading it through the "Installer" window otherwise.
// Class operations only.

#include <functional>
#include <string>

namespace zl {

class Installer {
 public:
  Installer() = delete;

  // displayName is what the "Installer" window names while it downloads; fileName the file in
  // the share's Common folder; url where to download it when the share has none.
  // The installer runs in a folder of its own under the temporary folder, which is removed
  // once afterRun (when given) has run too.
  static void Install(const std::wstring& displayName, const std::wstring& fileName,
                      const std::wstring& url, bool elevate, const std::wstring& unzipPath,
                      const std::function<void()>& afterRun = nullptr);
  // An .msi goes to msiexec, an .exe is run, a .zip is unpacked into unzipPath.
  static void InstallOrRun(const std::wstring& fileName, bool elevate,
                           const std::wstring& unzipPath);
  // Tells the user, through the error dialog with OK, that the installer fileName was not run:
  // 'The file "<fileName>" <why>. It was not run.', and detail, when given, as a paragraph of
  // its own.
  static void ReportNotRun(const std::wstring& fileName, const std::wstring& why,
                           const std::wstring& detail = std::wstring());
};

}  // namespace zl
