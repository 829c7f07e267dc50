// Win32Network under Wine, on loopback only: the TCP probe against a listener of the test's own,
// the discovery endpoint's receive path fed from a socket of the test's own (no broadcast is ever
// sent from here), and the Winsock 1.1 lookups. Lookups that would ask the host's name server run
// only in a network namespace (the runner sets ZL_NET_ISOLATED there).

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Network.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace zl::win32 {
namespace {

constexpr DWORD kBound = 10000;  // ms: generous for a loaded machine, short for a hang

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

uint16_t LocalPort(SOCKET s) {
  sockaddr_in a = {};
  int n = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0) return 0;
  return ntohs(a.sin_port);
}

UniqueSocket Listener() {
  UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in a = Loopback(0);
  if (!s || ::bind(s.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(s.Get(), 4) != 0)
    return UniqueSocket();
  return s;
}

bool Readable(SOCKET s, DWORD ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &tv) == 1;
}

// A port nobody listens on: bound once, then given back.
uint16_t ClosedPort() {
  UniqueSocket s = Listener();
  return s ? LocalPort(s.Get()) : 0;
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wsa_.Ok()) << wsa_.Error(); }
  WsaScope wsa_;
  Win32Network network_;
};

// ---------------------------------------------------------------- TCP probe

TEST_F(NetworkTest, ProbeConnectsToAListenerAndClosesWithoutSending) {
  for (const wchar_t* host : {L"127.0.0.1", L"localhost"}) {
    SCOPED_TRACE(std::string(host, host + wcslen(host)));
    UniqueSocket listener = Listener();
    ASSERT_TRUE(listener);
    EXPECT_TRUE(network_.ProbeTcp(host, LocalPort(listener.Get()), 2000));

    ASSERT_TRUE(Readable(listener.Get(), kBound)) << "no connection reached the listener";
    UniqueSocket peer(::accept(listener.Get(), nullptr, nullptr));
    ASSERT_TRUE(peer);
    // The probe has already closed its end: the first read is the end of the stream, no data.
    ASSERT_TRUE(Readable(peer.Get(), kBound));
    char byte = 0;
    EXPECT_EQ(0, ::recv(peer.Get(), &byte, 1, 0)) << "error " << ::WSAGetLastError();
  }
}

TEST_F(NetworkTest, ProbeFailsForEveryUnreachableTarget) {
  const uint16_t closed = ClosedPort();
  ASSERT_NE(0, closed);
  struct Row {
    const char* label;
    std::wstring host;
    uint16_t port;
  };
  const Row rows[] = {
      {"refused loopback port", L"127.0.0.1", closed},
      {"empty host", L"", closed},
      {"port zero", L"127.0.0.1", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(network_.ProbeTcp(row.host, row.port, kBound));
    // A refusal is reported at once (in the except set), not after the whole wait.
    EXPECT_LT(::GetTickCount() - start, kBound);
  }
}

// ---------------------------------------------------------------- discovery endpoint

class DiscoveryTest : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    port_ = network_.DiscoveryPortForTest();
    ASSERT_NE(0, port_);
    sender_.Reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    ASSERT_TRUE(sender_);
  }
  void Send(const std::string& payload) {
    const sockaddr_in to = Loopback(port_);
    ASSERT_EQ(static_cast<int>(payload.size()),
              ::sendto(sender_.Get(), payload.data(), static_cast<int>(payload.size()), 0,
                       reinterpret_cast<const sockaddr*>(&to), sizeof to))
        << ::WSAGetLastError();
  }
  uint16_t port_ = 0;
  UniqueSocket sender_;
};

TEST_F(DiscoveryTest, EndpointKeepsOnePortForItsLife) {
  EXPECT_EQ(port_, network_.DiscoveryPortForTest());
}

TEST_F(DiscoveryTest, ReceivesOneDatagramAtATimeCutToMaxBytes) {
  const std::string big(9000, 'x');
  struct Row {
    const char* label;
    std::string sent;
    size_t maxBytes;
    std::string expected;
  };
  const Row rows[] = {
      {"reply", "SRV01,<SecurityID>", 8192, "SRV01,<SecurityID>"},
      {"exactly maxBytes", "0123456789", 10, "0123456789"},
      {"oversized", "0123456789abcdef", 10, "0123456789"},
      {"larger than the reply buffer", big + "tail", 8192, big.substr(0, 8192)},
      {"empty datagram", "", 8192, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Send(row.sent);
    const std::optional<std::string> got = network_.ReceiveDatagram(kBound, row.maxBytes);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(row.expected, *got);
  }
  // Nothing of a cut datagram is left over for the next receive.
  EXPECT_EQ(std::nullopt, network_.ReceiveDatagram(100, 8192));
}

TEST_F(DiscoveryTest, OnlyTheFirstOfTwoDatagramsIsTaken) {
  Send("first");
  Send("second");
  EXPECT_EQ(std::optional<std::string>("first"), network_.ReceiveDatagram(kBound, 8192));
  EXPECT_EQ(std::optional<std::string>("second"), network_.ReceiveDatagram(kBound, 8192));
}

TEST_F(DiscoveryTest, TimesOutWithNothingWhenNothingComes) {
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(std::nullopt, network_.ReceiveDatagram(300, 8192));
  // It did wait: a receive that returns at once would miss a server that answers late.
  EXPECT_GE(::GetTickCount() - start, 250u);
}

TEST(SocketError, MessageCarriesNumberAndText) {
  EXPECT_EQ(L"Socket Error # 10051\r\nNetwork is unreachable.", SocketErrorMessage(WSAENETUNREACH));
  EXPECT_EQ(L"Socket Error # 10054\r\nConnection reset by peer.",
            SocketErrorMessage(WSAECONNRESET));
  const std::wstring unknown = SocketErrorMessage(12345);
  EXPECT_EQ(0u, unknown.find(L"Socket Error # 12345\r\n"));
  EXPECT_GT(unknown.size(), std::wstring(L"Socket Error # 12345\r\n").size());
}

// ---------------------------------------------------------------- lookups

TEST_F(NetworkTest, LookupsOfTheLocalHostAnswerFromTheHostsFile) {
  const std::optional<std::wstring> name = network_.HostNameOf(L"127.0.0.1");
  ASSERT_TRUE(name.has_value());
  EXPECT_FALSE(name->empty());

  for (const wchar_t* host : {L"localhost", L"127.0.0.1"}) {
    const std::optional<std::wstring> address = network_.AddressOf(host);
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(L"127.0.0.1", *address);
  }
}

TEST_F(NetworkTest, LookupsLeaveWinsockStartedAsTheyFoundIt) {
  // Each lookup pairs its WSAStartup with a WSACleanup: the count this test holds stays usable
  // and no lookup ends it.
  network_.AddressOf(L"localhost");
  network_.HostNameOf(L"127.0.0.1");
  UniqueSocket s(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  EXPECT_TRUE(s) << ::WSAGetLastError();
}

// Only where no query can leave the machine: outside a namespace of its own the resolver would
// ask the host's name server.
TEST_F(NetworkTest, IsolatedUnknownNameHasNoAddress) {
  if (std::getenv("ZL_NET_ISOLATED") == nullptr)
    GTEST_SKIP() << "runs only inside the runner's network namespace";
  EXPECT_EQ(std::nullopt, network_.AddressOf(L"no-such-host.invalid"));
  EXPECT_FALSE(network_.ProbeTcp(L"no-such-host.invalid", 2879, 2000));
}

// In the runner's namespace only: there the one adapter is lo, and a documentation-range
// address has no route, so nothing can leave the machine.
TEST_F(DiscoveryTest, IsolatedAdaptersAndASendPerDestinationWhereAFailureSkipsOnlyItself) {
  if (std::getenv("ZL_NET_ISOLATED") == nullptr)
    GTEST_SKIP() << "runs only inside the runner's network namespace";
  const std::vector<NetworkAdapter> adapters = network_.Adapters();
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_TRUE(adapters[0].up);
  EXPECT_TRUE(adapters[0].loopback);
  ASSERT_EQ(adapters[0].addresses.size(), 1u);
  EXPECT_EQ(adapters[0].addresses[0].address, 0x7F000001u);
  EXPECT_EQ(adapters[0].addresses[0].prefixLength, 8);

  // A second discovery endpoint receives what the first sends to 127.0.0.1.
  Win32Network receiver;
  const uint16_t port = receiver.DiscoveryPortForTest();
  const std::vector<std::wstring> errors =
      network_.SendBroadcasts(port, "Finding Server", {0xC0000201u, 0x7F000001u});
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0], L"");  // 192.0.2.1: no route
  EXPECT_EQ(errors[1], L"");
  EXPECT_EQ(receiver.ReceiveDatagram(2000, 64), std::optional<std::string>("Finding Server"));
}

}  // namespace
}  // namespace zl::win32
