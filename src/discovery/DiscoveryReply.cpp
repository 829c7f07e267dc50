#include "discovery/DiscoveryReply.h"

#include "utils/HostName.h"
#include "utils/Regex.h"

namespace zl {

namespace {

bool IsTrailingJunk(wchar_t c) {
  return c == L'\0' || c == L'\r' || c == L'\n' || c == L' ' || c == L'\t';
}

// Removes the junk that ends the name part, the part before `end`.
void TrimNamePart(std::wstring& reply, size_t end) {
  size_t start = end;
  while (start > 0 && IsTrailingJunk(reply[start - 1])) --start;
  reply.erase(start, end - start);
}

}  // namespace

std::optional<std::wstring> ParseDiscoveryReply(const std::string& datagram) {
  static const Regex withSecurityId(L"([A-Za-z0-9.\\-_]*),<SecurityID>");
  static const Regex beforeComma(L"([A-Za-z0-9.\\-_]*),");
  std::wstring reply;
  reply.reserve(datagram.size());
  for (char byte : datagram)
    reply.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));

  const size_t tagged = reply.find(L",<SecurityID>");
  const size_t comma = reply.find(L',');
  TrimNamePart(reply, tagged != std::wstring::npos  ? tagged
                      : comma != std::wstring::npos ? comma
                                                    : reply.size());

  std::wstring name = reply;
  if (auto m = withSecurityId.Match(reply))
    name = (*m)[1];
  else if (auto m2 = beforeComma.Match(reply))
    name = (*m2)[1];
  if (!IsServerName(name)) return std::nullopt;
  return name;
}

}  // namespace zl
