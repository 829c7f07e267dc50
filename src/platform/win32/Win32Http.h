#pragma once
// One HTTP GET through WinINet, present on every Windows from XP on, with the workstation's
// Internet settings (proxy included).

#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

#include <optional>
#include <string>

namespace zl::win32 {

class Win32Http : public IHttp {
 public:
  // Safe on any thread: each call opens and closes its own session.
  HttpResponse Get(const std::wstring& url, IWriteStream& target,
                   const HttpCallbacks& callbacks) override;
};

// "<WinINet's or the system's text> (<code>).", the message of every LauncherError Get raises.
std::wstring InternetErrorText(DWORD error);

// A Content-Length header's value: decimal digits only (surrounding blanks allowed), else nullopt.
std::optional<int64_t> ParseContentLength(const std::wstring& text);

}  // namespace zl::win32
