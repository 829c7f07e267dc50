// Win32Http under Wine against a small HTTP server of the test's own on 127.0.0.1 (an ephemeral
// port, one connection at a time): statuses, announced and missing lengths, chunked bodies, a
// body cut short, a refused connection, the callback sequence and what the request carries.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Http.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zl::win32 {
namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// Deterministic bytes that differ between neighbouring offsets, so a lost or repeated chunk shows.
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

class Lock {
 public:
  Lock() { ::InitializeCriticalSection(&cs_); }
  ~Lock() { ::DeleteCriticalSection(&cs_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Enter() { ::EnterCriticalSection(&cs_); }
  void Leave() { ::LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

// What the server sends for a path: the head (status line and headers, without the blank line),
// then the body pieces; cut: close after the pieces without sending the rest of what the head
// announced.
struct Reply {
  std::string head;
  std::vector<std::string> pieces;
};

std::string ChunkOf(const std::string& data) {
  char size[16];
  wsprintfA(size, "%x\r\n", static_cast<unsigned>(data.size()));
  return size + data + "\r\n";
}

class LoopbackServer {
 public:
  LoopbackServer() {
    listener_.Reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (!listener_ ||
        ::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.Get(), 8) != 0)
      return;
    int length = sizeof address;
    ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_.Reset(::CreateThread(nullptr, 0, &LoopbackServer::Serve, this, 0, nullptr));
  }
  ~LoopbackServer() {
    // Closing the listener ends the blocking accept, and with it the thread.
    listener_.Reset();
    if (thread_) ::WaitForSingleObject(thread_.Get(), 10000);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool Running() const { return thread_.Valid(); }
  void Route(const std::string& path, Reply reply) { routes_[path] = std::move(reply); }
  std::wstring Url(const std::string& path) const {
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + path;
    return std::wstring(url.begin(), url.end());
  }
  // The request heads received so far, oldest first.
  std::vector<std::string> Requests() {
    lock_.Enter();
    std::vector<std::string> copy = requests_;
    lock_.Leave();
    return copy;
  }

 private:
  static DWORD WINAPI Serve(void* self) {
    static_cast<LoopbackServer*>(self)->Loop();
    return 0;
  }

  void Loop() {
    for (;;) {
      UniqueSocket client(::accept(listener_.Get(), nullptr, nullptr));
      if (!client) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int n = ::recv(client.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, n);
      }
      lock_.Enter();
      requests_.push_back(request);
      lock_.Leave();
      const size_t pathStart = request.find(' ') + 1;
      const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
      const auto found = routes_.find(path);
      const Reply reply = found != routes_.end()
                              ? found->second
                              : Reply{"HTTP/1.1 500 No Route\r\nContent-Length: 0", {}};
      // Every reply closes its connection, so each request arrives on a fresh accept.
      std::string head = reply.head + "\r\nConnection: close\r\n\r\n";
      if (!SendAll(client.Get(), head)) continue;
      for (const std::string& piece : reply.pieces)
        if (!SendAll(client.Get(), piece)) break;
      ::shutdown(client.Get(), SD_SEND);
    }
  }

  static bool SendAll(SOCKET s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      const int n = ::send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  WsaScope wsa_;
  UniqueSocket listener_;
  UniqueHandle thread_;
  uint16_t port_ = 0;
  std::map<std::string, Reply> routes_;  // set before any request
  Lock lock_;
  std::vector<std::string> requests_;
};

class MemoryStream : public IWriteStream {
 public:
  void Write(const void* data, size_t n) override {
    bytes.append(static_cast<const char*>(data), n);
  }
  void Close() override {}
  std::string bytes;
};

// The callbacks as one ordered record: "B<n>" for workBegin, "W<n>" for work, "E" for workEnd.
struct Recorder {
  std::vector<std::string> events;
  HttpCallbacks Callbacks() {
    HttpCallbacks c;
    c.workBegin = [this](int64_t n) { events.push_back("B" + std::to_string(n)); };
    c.work = [this](int64_t n) { events.push_back("W" + std::to_string(n)); };
    c.workEnd = [this] { events.push_back("E"); };
    return c;
  }
};

// workBegin once and first, work strictly rising to the total, workEnd once and last when a byte
// arrived; nothing else.
void ExpectSequence(const std::vector<std::string>& events, int64_t announced, int64_t total) {
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "B" + std::to_string(announced));
  const size_t workEnd = total > 0 ? events.size() - 1 : events.size();
  if (total > 0) {
    EXPECT_EQ(events.back(), "E");
  }
  int64_t last = 0;
  for (size_t i = 1; i < workEnd; ++i) {
    ASSERT_EQ(events[i][0], 'W') << "event " << i << ": " << events[i];
    const int64_t n = std::stoll(events[i].substr(1));
    EXPECT_GT(n, last) << "event " << i;
    last = n;
  }
  EXPECT_EQ(last, total);
}

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Running()) << "no loopback server"; }
  LoopbackServer server_;
  Win32Http http_;
};

TEST_F(HttpTest, WritesEveryBodyAndReportsStatusLengthAndProgress) {
  const std::string big = Pattern(1024 * 1024 + 123);  // many 64 KiB reads, the last one partial
  const std::string chunked = Pattern(300000);
  const std::string unsized = Pattern(150000);
  const std::string notFound = "<html>no such file</html>";
  server_.Route("/sized",
                {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size()), {big}});
  server_.Route("/chunked",
                {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked",
                 {ChunkOf(chunked.substr(0, 1000)), ChunkOf(chunked.substr(1000, 200000)),
                  ChunkOf(chunked.substr(201000)), "0\r\n\r\n"}});
  // HTTP/1.0 style: no length, the end of the connection ends the body.
  server_.Route("/unsized", {"HTTP/1.1 200 OK", {unsized}});
  server_.Route(
      "/missing",
      {"HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(notFound.size()), {notFound}});
  server_.Route("/empty", {"HTTP/1.1 200 OK\r\nContent-Length: 0", {}});
  server_.Route("/moved", {"HTTP/1.1 302 Found\r\nLocation: /sized\r\nContent-Length: 0", {}});

  struct Row {
    const char* path;
    int status;
    std::optional<int64_t> length;
    const std::string* body;
  };
  const std::string none;
  const Row table[] = {
      {"/sized", 200, static_cast<int64_t>(big.size()), &big},
      {"/chunked", 200, std::nullopt, &chunked},
      {"/unsized", 200, std::nullopt, &unsized},
      {"/missing", 404, static_cast<int64_t>(notFound.size()), &notFound},
      {"/empty", 200, 0, &none},
      {"/moved", 302, 0, &none},  // no redirect is followed: the answer is the 302 itself
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.path);
    MemoryStream target;
    Recorder recorder;
    HttpResponse response;
    try {
      response = http_.Get(server_.Url(row.path), target, recorder.Callbacks());
    } catch (const LauncherError& e) {
      ADD_FAILURE() << "raised " << Narrow(e.Message());
      continue;
    }
    EXPECT_EQ(response.status, row.status);
    EXPECT_EQ(response.contentLength, row.length);
    EXPECT_EQ(response.received, static_cast<int64_t>(row.body->size()));
    EXPECT_TRUE(target.bytes == *row.body) << "body of " << target.bytes.size() << " bytes differs";
    ExpectSequence(recorder.events, row.length.value_or(0), static_cast<int64_t>(row.body->size()));
  }
}

TEST_F(HttpTest, RequestCarriesTheAgentAndNoCookie) {
  server_.Route("/agent", {"HTTP/1.1 200 OK\r\nContent-Length: 2", {"ok"}});
  MemoryStream target;
  http_.Get(server_.Url("/agent"), target, HttpCallbacks());
  const std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("GET /agent HTTP/1.1\r\n", 0), 0u) << requests[0];
  EXPECT_NE(requests[0].find("\r\nUser-Agent: ZelkoraLauncher/1.0\r\n"), std::string::npos)
      << requests[0];
  EXPECT_EQ(requests[0].find("\r\nCookie:"), std::string::npos) << requests[0];
}

TEST_F(HttpTest, TransportFailuresRaiseWithWinInetsCodeAndText) {
  const std::string body = Pattern(100000);
  server_.Route("/cut", {"HTTP/1.1 200 OK\r\nContent-Length: 100000", {body.substr(0, 40000)}});
  // A port nobody listens on: bound for a moment to learn a free one, then closed.
  uint16_t freePort = 0;
  {
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    int length = sizeof address;
    ::getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    freePort = ntohs(address.sin_port);
  }
  struct Row {
    const char* label;
    std::wstring url;
    const wchar_t* code;
    bool begins;  // the response had started: workBegin was called, workEnd never
  };
  const Row table[] = {
      {"body cut short", server_.Url("/cut"), L"(12030).", true},
      {"refused", L"http://127.0.0.1:" + std::to_wstring(freePort) + L"/x", L"(12029).", false},
      {"not http", L"ftp://127.0.0.1/x", L"(12006).", false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    MemoryStream target;
    Recorder recorder;
    try {
      http_.Get(row.url, target, recorder.Callbacks());
      ADD_FAILURE() << "no error raised";
    } catch (const LauncherError& e) {
      const std::wstring& m = e.Message();
      const std::wstring code = row.code;
      ASSERT_GT(m.size(), code.size() + 1) << Narrow(m);
      EXPECT_EQ(m.substr(m.size() - code.size()), code) << Narrow(m);
      // WinINet's own text comes before the code, not a bare number.
      EXPECT_NE(m.find_first_not_of(L"0123456789 ().-"), std::wstring::npos) << Narrow(m);
    }
    EXPECT_EQ(!recorder.events.empty() && recorder.events.front()[0] == 'B', row.begins);
    for (const std::string& event : recorder.events) EXPECT_NE(event, "E");
  }
}

TEST_F(HttpTest, AFailingTargetStopsTheDownloadWithItsError) {
  server_.Route("/file", {"HTTP/1.1 200 OK\r\nContent-Length: 200000", {Pattern(200000)}});
  struct Full : IWriteStream {
    void Write(const void*, size_t) override {
      throw LauncherError(L"There is not enough space on the disk.");
    }
    void Close() override {}
  } target;
  try {
    http_.Get(server_.Url("/file"), target, HttpCallbacks());
    ADD_FAILURE() << "no error raised";
  } catch (const LauncherError& e) {
    EXPECT_EQ(e.Message(), L"There is not enough space on the disk.");
  }
}

TEST(HttpContentLength, OnlyDecimalDigitsCount) {
  struct Row {
    const wchar_t* text;
    std::optional<int64_t> value;
  };
  const Row table[] = {
      {L"0", 0},
      {L"1234567", 1234567},
      {L" 42\t", 42},
      {L"9223372036854775807", INT64_MAX},
      {L"9223372036854775808", std::nullopt},
      {L"", std::nullopt},
      {L"-1", std::nullopt},
      {L"12a", std::nullopt},
      {L"1 2", std::nullopt},
  };
  for (const Row& row : table)
    EXPECT_EQ(ParseContentLength(row.text), row.value) << Narrow(row.text);
}

}  // namespace
}  // namespace zl::win32
