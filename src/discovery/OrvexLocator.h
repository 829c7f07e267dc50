#pragma once
// OrvexLocator: step 2, finding the server that runs the Orvex service, entering it in the
// intranet zone, and letting the user pick the application's executable.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/LaunchRun.h"
#include "platform/Platform.h"
#include "utils/Regex.h"

namespace zl {

// "(Quenda|Velmont)\.exe$", case-insensitive: what a saved or chosen application path must match.
extern const Regex kAppNamePattern;

class OrvexLocator {
 public:
  OrvexLocator() = delete;
  static void Locate(LaunchRun& run);
  // 2868 + PortOffset and 2879 + PortOffset; none when the sum is outside 1 to 65535, and then
  // that way of finding the server is not tried.
  static std::optional<uint16_t> UdpPort(const LauncherOptions& options);
  static std::optional<uint16_t> TcpPort(const LauncherOptions& options);
  // A dotted IPv4 address becomes the server's short host name; other text comes back unchanged.
  static std::wstring ResolveHostname(INetwork& network, const std::wstring& value);
  // A host name becomes a dotted IPv4 address for messages; empty when it cannot be resolved.
  static std::wstring ResolveAddress(INetwork& network, const std::wstring& value);
  // The application location dialog, on the main thread whichever thread asks; the chosen path,
  // or empty.
  static std::wstring LocateApp(const PlatformServices& ports);
  // Where the discovery datagram goes: 255.255.255.255 first, then the directed broadcast
  // address of each IPv4 address of each adapter that is up, not loopback and has a network of
  // /30 or wider, in the adapters' order, each once. Host byte order.
  static std::vector<uint32_t> BroadcastDestinations(const std::vector<NetworkAdapter>& adapters);
};

}  // namespace zl
