#include "prerequisites/InstallerPolicy.h"

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

InstallerVerdict InstallerPolicy::Check(const LaunchRun& run, const std::wstring& fileName,
                                        IHeldFile& file) {
  // Read raw: a value of another type is a mismatch, never the wrong-type error that ends the
  // program as for the options.
  const RegValue set = run.Registry().ReadValue(RegRoot::LocalMachine, kInstallerHashesKey,
                                                fileName, RegView::Reg64);
  if (set.kind == RegKind::Missing)
    return run.options.RequireInstallerHashes() ? InstallerVerdict::NoChecksum
                                                : InstallerVerdict::Unchecked;
  const std::wstring wanted = set.kind == RegKind::String ? NormalisedChecksum(set.text) : L"";
  if (wanted.empty()) return InstallerVerdict::Mismatch;
  const std::optional<std::wstring> actual = file.Sha256();
  return actual && *actual == wanted ? InstallerVerdict::Approved : InstallerVerdict::Mismatch;
}

}  // namespace zl
