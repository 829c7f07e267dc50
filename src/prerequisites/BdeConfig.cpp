#include "prerequisites/BdeConfig.h"

#include "utils/Paths.h"

#include <cstdint>

namespace zl {

namespace {

// "%0:s" is the share root with doubled backslashes, "%1:s" the 64-bit Windows branch of the
// 32-bit view. Key lines take single backslashes, value lines doubled ones.
const wchar_t* const kBdeRegTemplate[] = {
    LR"(Windows Registry Editor Version 5.00)",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland])",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine])",
    LR"("DLLPATH"="%0:s\\Common\\BDE\\")",
    LR"("CONFIGFILE01"="%0:s\\Common\\BDE\\idapi32.cfg")",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings])",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings\DRIVERS])",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings\DRIVERS\PARADOX])",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings\DRIVERS\PARADOX\INIT])",
    LR"("VERSION"="4.0")",
    LR"("TYPE"="FILE")",
    LR"("LANGDRIVER"="DBWINUS0")",
    LR"("NET DIR"="%0:s\\Common\\")",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings\DRIVERS\PARADOX\TABLE CREATE])",
    LR"("LEVEL"="5")",
    LR"("BLOCK SIZE"="4096")",
    LR"("FILL FACTOR"="90")",
    LR"("STRICTINTEGRTY"="TRUE")",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings\SYSTEM])",
    LR"()",
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\%1:sBorland\Database Engine\Settings\SYSTEM\INIT])",
    LR"("VERSION"="4.0")",
    LR"("LOCAL SHARE"="TRUE")",
    LR"("MINBUFSIZE"="256")",
    LR"("MAXBUFSIZE"="4096")",
    LR"("LANGDRIVER"="DBWINUS0")",
    LR"("MAXFILEHANDLES"="96")",
    LR"("SYSFLAGS"="0")",
    LR"("LOW MEMORY USAGE LIMIT"="32")",
    LR"("AUTO ODBC"="FALSE")",
    LR"("DEFAULT DRIVER"="PARADOX")",
    LR"("MEMSIZE"="32")",
    LR"("SHAREDMEMSIZE"="4096")",
    LR"("SHAREDMEMLOCATION"="")",
    LR"("DATA REPOSITORY"="")",
    LR"("SQLQRYMODE"="")",
    LR"("MTS POOLING"="FALSE")",
};

// One pass from left to right, so that a root which itself reads "%1:s" stays text.
std::wstring FillPlaceholders(const std::wstring& line, const std::wstring& p0,
                              const std::wstring& p1) {
  std::wstring out;
  for (size_t i = 0; i < line.size();) {
    if (line.compare(i, 4, L"%0:s") == 0) {
      out += p0;
      i += 4;
    } else if (line.compare(i, 4, L"%1:s") == 0) {
      out += p1;
      i += 4;
    } else {
      out += line[i++];
    }
  }
  return out;
}

}  // namespace

std::wstring BdeConfig::DoubleBackslashes(const std::wstring& text) {
  std::wstring out;
  for (wchar_t ch : text) {
    out += ch;
    if (ch == L'\\') out += L'\\';
  }
  return out;
}

bool BdeConfig::FitsInRegValue(const std::wstring& text) {
  for (wchar_t ch : text)
    if (ch == L'"' || static_cast<uint32_t>(ch) < 32 || ch == 127) return false;
  return true;
}

std::wstring BdeConfig::RegText(const std::wstring& escapedRoot, bool wow6432Branch) {
  if (!FitsInRegValue(escapedRoot)) return L"";
  const std::wstring branch = wow6432Branch ? L"Wow6432Node\\" : L"";
  std::wstring text;
  for (const wchar_t* line : kBdeRegTemplate)
    text += FillPlaceholders(line, escapedRoot, branch) + L"\r\n";
  return text;
}

std::wstring BdeConfig::RegFilePath(const std::wstring& folder) {
  return folder.empty() ? L"" : JoinPath(folder, L"BDE.REG");
}

}  // namespace zl
