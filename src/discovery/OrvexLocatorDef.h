#pragma once
// TOrvexLocator: step 2, finding the server that runs the Orvex service, entering it in the
// intranet zone, and letting the user pick the application's executable.

#include <cstdint>
#include <string>

#include "launcher/ErrorUtils.h"
#include "utils/Regex.h"

namespace zl {

// "(Quenda|Velmont)\.exe$", case-insensitive: what a saved or chosen application path must match.
extern const Regex AppNamePattern;

class TOrvexLocator {
 public:
  TOrvexLocator() = delete;
  static void Locate(TLaunchErrorList& errorList);
  static int UDPPort();
  static int TCPPort();
  // A dotted IPv4 address becomes the server's short host name; other text comes back unchanged.
  static std::wstring ResolveHostname(const std::wstring& Value);
  // A host name becomes a dotted IPv4 address for messages; empty when it cannot be resolved.
  static std::wstring ResolveAddress(const std::wstring& Value);
  // The application location dialog; the chosen path, or empty.
  static std::wstring LocateApp();
};

}  // namespace zl
