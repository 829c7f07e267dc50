#pragma once
// The one check of a server's name where it enters the launcher: from the registry, from a
// discovery reply or a reverse lookup, from the server part of a saved or picked path. A name
// that passes goes into registry key paths (the intranet zone) and onto the application's
// command line as it is.

#include <cstdint>
#include <string>

namespace zl {

// A host name or dotted address and nothing else: 1 to 253 of A-Z, a-z, 0-9, '.', '-', '_', not
// "." or ".." (which would make a path of their own, "\\.\zelkora$") and not starting with '-'
// (which would read as an option on a command line).
bool IsServerName(const std::wstring& text);

// False only for a UNC path ("\\server\share\...") whose server part fails IsServerName;
// drive-letter and local paths have no server part and pass.
bool HasValidServerPart(const std::wstring& path);

// An IPv4 address in host byte order as "a.b.c.d".
std::wstring DottedText(uint32_t address);

}  // namespace zl
