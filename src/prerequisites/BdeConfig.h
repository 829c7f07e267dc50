#pragma once
// The database engine settings Quenda needs, as the text of the registry file "BDE.REG" that the
// registry editor imports. Built as a value so that it can be compared and fuzzed; writing and
// importing it stay with AppInspector.

#include <string>

namespace zl {

class BdeConfig {
 public:
  // .reg value lines take doubled backslashes.
  static std::wstring DoubleBackslashes(const std::wstring& text);
  // The root ends up between the quotes of .reg values: a quote or a control character in it
  // would end the value and let the rest be read as further keys and values of HKLM.
  static bool FitsInRegValue(const std::wstring& text);
  // The file's text in CRLF lines for a root with doubled backslashes; wow6432Branch puts the
  // keys into the 32-bit view of a 64-bit Windows. Empty for a root that does not fit.
  static std::wstring RegText(const std::wstring& escapedRoot, bool wow6432Branch);
  // The file's path in its own folder, one backslash between them; empty without a folder (the
  // name would otherwise point at the root of the current drive).
  static std::wstring RegFilePath(const std::wstring& folder);
};

}  // namespace zl
