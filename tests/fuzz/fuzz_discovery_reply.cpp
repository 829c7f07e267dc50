// Discovery replies come from anyone on the segment: whatever the bytes, the parser names a
// server that passes IsServerName, taken from the reply itself, or nothing.

#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/DiscoveryReply.h"
#include "utils/HostName.h"

namespace {

// The documented rule, written out independently.
bool LooksLikeServerName(const std::wstring& text) {
  if (text.empty() || text.size() > 253 || text == L"." || text == L".." || text[0] == L'-')
    return false;
  for (wchar_t ch : text) {
    const bool ok = (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z') ||
                    (ch >= L'0' && ch <= L'9') || ch == L'.' || ch == L'-' || ch == L'_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  std::wstring wide;
  for (char byte : datagram) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));

  if (zl::IsServerName(wide) != LooksLikeServerName(wide)) __builtin_trap();

  if (auto name = zl::ParseDiscoveryReply(datagram)) {
    if (!zl::IsServerName(*name)) __builtin_trap();
    if (wide.find(*name) == std::wstring::npos) __builtin_trap();
  }
  return 0;
}
