#pragma once
// OrvexLocator: step 2, finding the server that runs the Orvex service, entering it in the
// intranet zone, and letting the user pick the application's executable.

#include <cstdint>
#include <string>

#include "model/LaunchError.h"
#include "utils/Regex.h"

namespace zl {

// "(Quenda|Velmont)\.exe$", case-insensitive: what a saved or chosen application path must match.
extern const Regex kAppNamePattern;

class OrvexLocator {
 public:
  OrvexLocator() = delete;
  static void Locate(LaunchErrorList& errorList);
  static int UdpPort();
  static int TcpPort();
  // A dotted IPv4 address becomes the server's short host name; other text comes back unchanged.
  static std::wstring ResolveHostname(const std::wstring& value);
  // A host name becomes a dotted IPv4 address for messages; empty when it cannot be resolved.
  static std::wstring ResolveAddress(const std::wstring& value);
  // The application location dialog; the chosen path, or empty.
  static std::wstring LocateApp();
};

}  // namespace zl
