#include "platform/win32/Win32Network.h"

#include "platform/win32/Win32Util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zl::win32 {

namespace {

// Winsock takes 8-bit text in the system's ANSI code page.
std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
  return out;
}

std::wstring FromAnsi(const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

timeval ToTimeval(uint32_t ms) {
  timeval tv;
  tv.tv_sec = static_cast<long>(ms / 1000);
  tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
  return tv;
}

// Dotted text goes through inet_addr; anything else is a name for the resolver.
std::optional<in_addr> ResolveIpv4(const std::wstring& host) {
  const std::string text = ToAnsi(host);
  if (text.empty()) return std::nullopt;
  in_addr address;
  address.s_addr = ::inet_addr(text.c_str());
  if (address.s_addr != INADDR_NONE) return address;
  const hostent* entry = ::gethostbyname(text.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length < 4 ||
      entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
    return std::nullopt;
  memcpy(&address, entry->h_addr_list[0], 4);
  return address;
}

[[noreturn]] void ThrowSocketError(int error) { throw LauncherError(SocketErrorMessage(error)); }

struct SocketErrorText {
  int code;
  const wchar_t* text;
};

// Short texts in the manner of the BSD socket messages: the system's own are long sentences.
const SocketErrorText kSocketErrorTexts[] = {
    {WSAEINTR, L"Interrupted system call."},
    {WSAEBADF, L"Bad file number."},
    {WSAEACCES, L"Access denied."},
    {WSAEFAULT, L"Bad address."},
    {WSAEINVAL, L"Invalid argument."},
    {WSAEMFILE, L"Too many open files."},
    {WSAEWOULDBLOCK, L"Operation would block."},
    {WSAEINPROGRESS, L"Operation now in progress."},
    {WSAEALREADY, L"Operation already in progress."},
    {WSAENOTSOCK, L"Socket operation on non-socket."},
    {WSAEDESTADDRREQ, L"Destination address required."},
    {WSAEMSGSIZE, L"Message too long."},
    {WSAEPROTOTYPE, L"Protocol wrong type for socket."},
    {WSAENOPROTOOPT, L"Bad protocol option."},
    {WSAEPROTONOSUPPORT, L"Protocol not supported."},
    {WSAESOCKTNOSUPPORT, L"Socket type not supported."},
    {WSAEOPNOTSUPP, L"Operation not supported on socket."},
    {WSAEPFNOSUPPORT, L"Protocol family not supported."},
    {WSAEAFNOSUPPORT, L"Address family not supported by protocol family."},
    {WSAEADDRINUSE, L"Address already in use."},
    {WSAEADDRNOTAVAIL, L"Cannot assign requested address."},
    {WSAENETDOWN, L"Network is down."},
    {WSAENETUNREACH, L"Network is unreachable."},
    {WSAENETRESET, L"Net dropped connection or reset."},
    {WSAECONNABORTED, L"Software caused connection abort."},
    {WSAECONNRESET, L"Connection reset by peer."},
    {WSAENOBUFS, L"No buffer space available."},
    {WSAEISCONN, L"Socket is already connected."},
    {WSAENOTCONN, L"Socket is not connected."},
    {WSAESHUTDOWN, L"Cannot send or receive after socket is closed."},
    {WSAETIMEDOUT, L"Connection timed out."},
    {WSAECONNREFUSED, L"Connection refused."},
    {WSAEHOSTDOWN, L"Host is down."},
    {WSAEHOSTUNREACH, L"No route to host."},
    {WSASYSNOTREADY, L"Network subsystem is unavailable."},
    {WSAVERNOTSUPPORTED, L"Winsock version not supported."},
    {WSANOTINITIALISED, L"Winsock not initialized."},
};

}  // namespace

std::wstring SocketErrorMessage(int error) {
  std::wstring text;
  for (const SocketErrorText& entry : kSocketErrorTexts)
    if (entry.code == error) text = entry.text;
  if (text.empty()) text = SystemMessage(static_cast<DWORD>(error));
  return L"Socket Error # " + std::to_wstring(error) + L"\r\n" + text;
}

Win32Network::Win32Network() = default;
Win32Network::~Win32Network() = default;

bool Win32Network::ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) {
  WsaScope wsa;
  if (!wsa.Ok()) return false;
  const std::optional<in_addr> address = ResolveIpv4(host);
  if (!address) return false;

  UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket) return false;
  u_long nonBlocking = 1;
  if (::ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) != 0) return false;

  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = ::htons(port);
  target.sin_addr = *address;
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    // Windows reports a refused connect in the except set, not as writable.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket.Get(), &writable);
    FD_SET(socket.Get(), &failed);
    timeval tv = ToTimeval(timeoutMs);
    if (::select(0, nullptr, &writable, &failed, &tv) <= 0) return false;
    if (FD_ISSET(socket.Get(), &failed) || !FD_ISSET(socket.Get(), &writable)) return false;
  }
  int error = 0;
  int length = sizeof error;
  if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
          0 ||
      error != 0)
    return false;
  return socket.Close();
}

SOCKET Win32Network::Endpoint() {
  if (endpoint_) return endpoint_.Get();
  auto wsa = std::make_unique<WsaScope>();
  if (!wsa->Ok()) ThrowSocketError(wsa->Error());
  UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!socket) ThrowSocketError(::WSAGetLastError());
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    ThrowSocketError(::WSAGetLastError());
  wsa_ = std::move(wsa);
  endpoint_ = std::move(socket);
  return endpoint_.Get();
}

uint16_t Win32Network::DiscoveryPortForTest() {
  const SOCKET s = Endpoint();
  sockaddr_in local = {};
  int length = sizeof local;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0)
    ThrowSocketError(::WSAGetLastError());
  return ntohs(local.sin_port);
}

std::vector<std::wstring> Win32Network::SendBroadcasts(uint16_t port, const std::string& payload,
                                                       const std::vector<uint32_t>& destinations) {
  const SOCKET s = Endpoint();
  BOOL on = TRUE;
  if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0)
    ThrowSocketError(::WSAGetLastError());
  std::vector<std::wstring> errors;
  for (uint32_t destination : destinations) {
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(destination);
    const int sent = ::sendto(s, payload.data(), static_cast<int>(payload.size()), 0,
                              reinterpret_cast<const sockaddr*>(&target), sizeof target);
    errors.push_back(sent == SOCKET_ERROR ? SocketErrorMessage(::WSAGetLastError()) : L"");
  }
  BOOL off = FALSE;
  if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&off), sizeof off) !=
      0)
    ThrowSocketError(::WSAGetLastError());
  return errors;
}

std::vector<NetworkAdapter> Win32Network::Adapters() {
  // iphlpapi by its full path (never imported: it is no KnownDLL). GetAdaptersAddresses gives
  // the order, state and kind of each adapter (XP on); the masks come from the address table,
  // since XP's unicast entries carry no prefix length.
  using GetAdaptersAddressesFn = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
  using GetIpAddrTableFn = DWORD(WINAPI*)(PMIB_IPADDRTABLE, PULONG, BOOL);
  static const UniqueModule iphlpapi = LoadSystemLibrary(L"iphlpapi.dll");
  if (!iphlpapi) return {};
  const auto getAdapters = LookUp<GetAdaptersAddressesFn>(iphlpapi.Get(), "GetAdaptersAddresses");
  const auto getTable = LookUp<GetIpAddrTableFn>(iphlpapi.Get(), "GetIpAddrTable");
  if (getAdapters == nullptr || getTable == nullptr) return {};

  std::vector<unsigned char> tableBuffer(sizeof(MIB_IPADDRTABLE));
  ULONG tableSize = static_cast<ULONG>(tableBuffer.size());
  DWORD status = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 3 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    tableBuffer.resize(tableSize);
    status = getTable(reinterpret_cast<PMIB_IPADDRTABLE>(tableBuffer.data()), &tableSize, FALSE);
  }
  if (status != NO_ERROR) return {};
  const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(tableBuffer.data());

  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG result = ERROR_BUFFER_OVERFLOW;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = getAdapters(AF_INET, flags, nullptr,
                         reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return {};

  std::vector<NetworkAdapter> adapters;
  for (auto* a = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()); a != nullptr;
       a = a->Next) {
    NetworkAdapter adapter;
    adapter.up = a->OperStatus == IfOperStatusUp;
    adapter.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const sockaddr* sa = u->Address.lpSockaddr;
      if (sa == nullptr || sa->sa_family != AF_INET) continue;
      const DWORD address = reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr;
      for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if (table->table[i].dwAddr != address) continue;
        const uint32_t mask = ntohl(table->table[i].dwMask);
        int length = 0;
        while (length < 32 && (mask & (0x80000000u >> length)) != 0) ++length;
        adapter.addresses.push_back({ntohl(address), length});
        break;
      }
    }
    adapters.push_back(adapter);
  }
  return adapters;
}

std::optional<std::string> Win32Network::ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) {
  const SOCKET s = Endpoint();
  std::vector<char> buffer(maxBytes > 0 ? maxBytes : 1);
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed > timeoutMs) return std::nullopt;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv = ToTimeval(timeoutMs - elapsed);
    const int ready = ::select(0, &readable, nullptr, nullptr, &tv);
    if (ready == SOCKET_ERROR) ThrowSocketError(::WSAGetLastError());
    if (ready == 0) return std::nullopt;

    sockaddr_in from = {};
    int fromLength = sizeof from;
    const int n = ::recvfrom(s, buffer.data(), static_cast<int>(buffer.size()), 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n != SOCKET_ERROR)
      return std::string(buffer.data(), std::min(static_cast<size_t>(n), maxBytes));
    const int error = ::WSAGetLastError();
    // An oversized datagram fills the buffer and is cut there: its first maxBytes are the reply.
    if (error == WSAEMSGSIZE) return std::string(buffer.data(), maxBytes);
    // A UDP socket on Windows reports an ICMP port-unreachable for an earlier send of its own as
    // WSAECONNRESET on the next receive; that is no reply, and a real one may still come.
    if (error == WSAECONNRESET) continue;
    ThrowSocketError(error);
  }
}

std::optional<std::wstring> Win32Network::HostNameOf(const std::wstring& address) {
  // The result of WSAStartup is not examined: a failed start shows as a failed lookup.
  WsaScope wsa(MAKEWORD(1, 1));
  const std::string text = ToAnsi(address);
  in_addr binary;
  binary.s_addr = ::inet_addr(text.c_str());
  const hostent* entry = ::gethostbyaddr(reinterpret_cast<const char*>(&binary), 4, AF_INET);
  // The entry lives in Winsock's per-thread storage, which WSACleanup frees: copy it first.
  if (entry == nullptr || entry->h_name == nullptr) return std::nullopt;
  return FromAnsi(entry->h_name);
}

std::optional<std::wstring> Win32Network::AddressOf(const std::wstring& name) {
  WsaScope wsa(MAKEWORD(1, 1));
  const std::string text = ToAnsi(name);
  const hostent* entry = ::gethostbyname(text.c_str());
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr ||
      entry->h_length < 4)
    return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(entry->h_addr_list[0]);
  wchar_t formatted[16];
  swprintf(formatted, 16, L"%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  return std::wstring(formatted);
}

}  // namespace zl::win32
