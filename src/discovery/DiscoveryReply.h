#pragma once
// What a discovery reply names. Anyone on the segment can answer the broadcast, so the reply is
// taken apart here with no trust in it: a reply that does not name a plain server is no answer.

#include <optional>
#include <string>

namespace zl {

// The server named by a reply datagram (bytes as received, each one a character), or nothing:
// the name before ",<SecurityID>", else before the first comma, else the whole reply, with the
// NUL, CR, LF and blanks a server that sends a C string or a line leaves at its end removed.
std::optional<std::wstring> ParseDiscoveryReply(const std::string& datagram);

}  // namespace zl
