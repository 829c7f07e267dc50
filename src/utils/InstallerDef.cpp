#include "platform/Platform.h"
#include "utils/LauncherUtilsDef.h"
#include "utils/Text.h"

namespace zl {

std::wstring ExtractFileExt(const std::wstring& aPath) {
  size_t dot = aPath.find_last_of(L".\\:");
  if (dot == std::wstring::npos || aPath[dot] != L'.') return std::wstring();
  return aPath.substr(dot);
}

std::wstring ChangeFileExt(const std::wstring& aPath, const std::wstring& aExt) {
  // The dot stays: a name given an empty extension ends in a dot.
  size_t dot = aPath.find_last_of(L".\\:");
  std::wstring stem =
      (dot != std::wstring::npos && aPath[dot] == L'.') ? aPath.substr(0, dot + 1) : aPath + L".";
  return stem + (!aExt.empty() && aExt[0] == L'.' ? aExt.substr(1) : aExt);
}

// Downloads and share copies arrive with the prerequisite installers, their only callers.
void TLauncherUtils::Install(const std::wstring&, const std::wstring&, const std::wstring&, bool,
                             const std::wstring&) {}

void TLauncherUtils::InstallOrRun(const std::wstring& aFileName, bool aElevate,
                                  const std::wstring& aUnzipPath) {
  std::wstring ext = LowerAscii(ExtractFileExt(aFileName));
  if (ext == L".msi") {
    // By its full path: a bare "msiexec.exe" would be looked for in the current folder first,
    // which may be a writable share.
    std::wstring msiexec = Platform().system->SystemDirectory() + L"\\msiexec.exe";
    RunExecutableFile(msiexec, L"/passive /i \"" + aFileName + L"\"", false, false);
  } else if (ext == L".exe") {
    RunExecutableFile(aFileName, L"", false, aElevate);
  } else if (ext == L".zip") {
    if (!aUnzipPath.empty()) Unzip(aFileName, aUnzipPath);
  }
}

}  // namespace zl
