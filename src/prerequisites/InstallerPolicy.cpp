#include "prerequisites/InstallerPolicy.h"

#include "model/LauncherOptions.h"
#include "model/Trace.h"
#include "platform/Platform.h"
#include "prerequisites/Installer.h"
#include "utils/Text.h"

namespace zl {

namespace {

// 64 hexadecimal digits in either case, lower-cased; empty for anything else.
std::wstring NormalisedChecksum(const std::wstring& text) {
  if (text.size() != 64) return std::wstring();
  std::wstring lower = LowerAscii(text);
  for (wchar_t c : lower)
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return std::wstring();
  return lower;
}

}  // namespace

InstallerVerdict InstallerPolicy::Check(const std::wstring& fileName, const std::wstring& path) {
  // Read raw: a value of another type is a mismatch, never the wrong-type error that ends the
  // program as for the options.
  const RegValue set = Platform().registry->ReadValue(RegRoot::LocalMachine, kInstallerHashesKey,
                                                      fileName, RegView::Reg64);
  if (set.kind == RegKind::Missing)
    return Options().RequireInstallerHashes() ? InstallerVerdict::NoChecksum
                                              : InstallerVerdict::Unchecked;
  const std::wstring wanted = set.kind == RegKind::String ? NormalisedChecksum(set.text) : L"";
  if (wanted.empty()) return InstallerVerdict::Mismatch;
  const std::optional<std::wstring> actual = Platform().files->Sha256(path);
  return actual && *actual == wanted ? InstallerVerdict::Approved : InstallerVerdict::Mismatch;
}

bool InstallerPolicy::Approve(const std::wstring& fileName, const std::wstring& path) {
  const InstallerVerdict verdict = Check(fileName, path);
  if (verdict == InstallerVerdict::Approved || verdict == InstallerVerdict::Unchecked) {
    Trace::Line(L"\"" + fileName + L"\" " +
                (verdict == InstallerVerdict::Approved
                     ? L"matches the checksum set by the administrator"
                     : L"has no checksum set by the administrator, and none is required"));
    return true;
  }
  const wchar_t* const reason =
      verdict == InstallerVerdict::Mismatch ? L"does not match the checksum" : L"has no checksum";
  Installer::ReportNotRun(fileName, std::wstring(reason) + L" set by your administrator");
  return false;
}

}  // namespace zl
