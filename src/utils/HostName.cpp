#include "utils/HostName.h"

#include "utils/Paths.h"

namespace zl {

namespace {
// The longest host name DNS allows.
constexpr size_t kMaxServerName = 253;
}  // namespace

bool IsServerName(const std::wstring& text) {
  if (text.empty() || text.size() > kMaxServerName) return false;
  if (text == L"." || text == L".." || text[0] == L'-') return false;
  for (wchar_t c : text) {
    bool nameChar = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
                    (c >= L'0' && c <= L'9') || c == L'.' || c == L'-' || c == L'_';
    if (!nameChar) return false;
  }
  return true;
}

bool HasValidServerPart(const std::wstring& path) {
  if (path.compare(0, 2, L"\\\\") != 0) return true;
  return IsServerName(GetShareServerName(path));
}

std::wstring DottedText(uint32_t address) {
  std::wstring text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if (shift != 24) text += L'.';
    text += std::to_wstring((address >> shift) & 255);
  }
  return text;
}

}  // namespace zl
