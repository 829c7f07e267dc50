// The BDE.REG text for any share root: a root that fits keeps every line of the template and
// reads back from each value unchanged; one that does not fit gives no text at all.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "prerequisites/BdeConfig.h"

namespace {

const size_t kTemplateLines = 45;
const std::pair<std::wstring, std::wstring> kRootValues[] = {
    {L"\"DLLPATH\"", L"\\Common\\BDE\\"},
    {L"\"CONFIGFILE01\"", L"\\Common\\BDE\\idapi32.cfg"},
    {L"\"NET DIR\"", L"\\Common\\"}};

// A value line as the registry editor reads it: "name"="text", backslash escapes the next
// character, an unescaped quote ends the text.
bool ReadValue(const std::wstring& line, std::wstring& value) {
  const size_t eq = line.find(L"\"=\"");
  if (line.empty() || line[0] != L'"' || eq == std::wstring::npos) return false;
  value.clear();
  size_t i = eq + 3;
  for (; i < line.size() && line[i] != L'"'; ++i) {
    if (line[i] == L'\\' && ++i == line.size()) return false;
    value += line[i];
  }
  return i + 1 == line.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool wow64 = data[0] & 1;
  std::wstring root;
  // Two bytes a character, so roots reach beyond Latin-1.
  for (size_t i = 1; i + 1 < size; i += 2)
    root.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const std::wstring tempDir(root.begin(), root.begin() + root.size() / 2);

  const std::wstring path = zl::BdeConfig::RegFilePath(tempDir);
  if (tempDir.empty() != path.empty()) __builtin_trap();

  const std::wstring text = zl::BdeConfig::RegText(zl::BdeConfig::DoubleBackslashes(root), wow64);
  if (!zl::BdeConfig::FitsInRegValue(root)) {
    if (!text.empty()) __builtin_trap();
    return 0;
  }
  size_t lines = 0, values = 0;
  for (size_t start = 0; start < text.size(); ++lines) {
    const size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) __builtin_trap();  // every line ends in CRLF
    const std::wstring line = text.substr(start, end - start);
    start = end + 2;
    if (line.empty() || line[0] != L'"') {
      if (line.find(L'\r') != std::wstring::npos || line.find(L'\n') != std::wstring::npos)
        __builtin_trap();
      continue;
    }
    std::wstring value;
    if (!ReadValue(line, value)) __builtin_trap();
    ++values;
    // The three values that name the root carry it back exactly.
    for (const auto& [name, suffix] : kRootValues)
      if (line.rfind(name, 0) == 0 && value != root + suffix) __builtin_trap();
  }
  if (lines != kTemplateLines || values != 26) __builtin_trap();
  return 0;
}
