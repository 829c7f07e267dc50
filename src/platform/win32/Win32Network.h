#pragma once
// TCP probe, the discovery endpoint and the resolver through Winsock (XP's: no getaddrinfo).

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

#include <memory>

namespace zl::win32 {

class Win32Network : public INetwork {
 public:
  Win32Network();
  ~Win32Network() override;
  Win32Network(const Win32Network&) = delete;
  Win32Network& operator=(const Win32Network&) = delete;

  bool ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) override;
  std::vector<std::wstring> SendBroadcasts(uint16_t port, const std::string& payload,
                                           const std::vector<uint32_t>& destinations) override;
  std::vector<NetworkAdapter> Adapters() override;
  std::optional<std::string> ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) override;
  std::optional<std::wstring> HostNameOf(const std::wstring& address) override;
  std::optional<std::wstring> AddressOf(const std::wstring& name) override;

  // For the adapter tests: the discovery endpoint's local port (opening it if needed).
  uint16_t DiscoveryPortForTest();

 private:
  // Opens the discovery socket on first use; throws LauncherError when it cannot.
  SOCKET Endpoint();

  // Declared before the socket so that it is destroyed after it: WSACleanup must come last.
  std::unique_ptr<WsaScope> wsa_;
  UniqueSocket endpoint_;
};

// "Socket Error # <n>\r\n<text>", the message of the LauncherError a socket error raises.
std::wstring SocketErrorMessage(int error);

}  // namespace zl::win32
