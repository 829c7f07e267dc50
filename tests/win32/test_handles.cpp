// The RAII template: what counts as empty, that each resource is given back exactly once, and
// that moves transfer ownership.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"

#include <gtest/gtest.h>

namespace zl::win32 {
namespace {

bool IsOpen(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueHandle, EmptyValuesPerKind) {
  EXPECT_FALSE(UniqueHandle().Valid());
  EXPECT_FALSE(UniqueHandle(nullptr).Valid());
  EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE).Valid());
  EXPECT_FALSE(UniqueFind().Valid());
  EXPECT_EQ(UniqueFind().Get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(UniqueSocket().Valid());
  EXPECT_EQ(UniqueSocket().Get(), INVALID_SOCKET);
  EXPECT_FALSE(UniqueModule().Valid());
  EXPECT_FALSE(UniqueGdi<HFONT>().Valid());
}

TEST(UniqueHandle, ClosesExactlyOnceWhateverTheWayOut) {
  struct Row {
    const char* label;
    void (*act)(UniqueHandle& owner, UniqueHandle& other);
    bool openAfter;  // the original handle
  };
  const Row table[] = {
      {"destroyed", [](UniqueHandle& owner, UniqueHandle&) { UniqueHandle gone(owner.Release()); },
       false},
      {"reset", [](UniqueHandle& owner, UniqueHandle&) { owner.Reset(); }, false},
      {"closed", [](UniqueHandle& owner, UniqueHandle&) { EXPECT_TRUE(owner.Close()); }, false},
      {"moved into another",
       [](UniqueHandle& owner, UniqueHandle& other) { other = std::move(owner); }, true},
      {"released", [](UniqueHandle& owner, UniqueHandle&) { owner.Release(); }, true},
      {"Put for an out parameter",
       [](UniqueHandle& owner, UniqueHandle&) { *owner.Put() = nullptr; }, false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    const HANDLE raw = NewEvent();
    ASSERT_TRUE(IsOpen(raw));
    UniqueHandle other;
    {
      UniqueHandle owner(raw);
      row.act(owner, other);
      EXPECT_FALSE(owner.Valid() && owner.Get() != raw);
    }
    EXPECT_EQ(IsOpen(raw), row.openAfter);
    if (row.openAfter && !other.Valid()) ::CloseHandle(raw);  // the released case: give it back
  }
}

TEST(UniqueHandle, MoveAssignmentClosesTheTargetsOldHandle) {
  const HANDLE first = NewEvent();
  const HANDLE second = NewEvent();
  UniqueHandle a(first);
  UniqueHandle b(second);
  a = std::move(b);
  EXPECT_FALSE(IsOpen(first));
  EXPECT_EQ(a.Get(), second);
  EXPECT_FALSE(b.Valid());
  a = std::move(a);
  EXPECT_TRUE(IsOpen(second));
}

TEST(WsaScope, StartsAndCleansUpWinsock) {
  // WinINet starts Winsock for itself and keeps it for the rest of the process: once another
  // test has used it, the end of our scope cannot be observed any more.
  SOCKET before = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const bool startedElsewhere = before != INVALID_SOCKET;
  if (startedElsewhere) ::closesocket(before);
  {
    WsaScope wsa;
    ASSERT_TRUE(wsa.Ok());
    UniqueSocket s(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    EXPECT_TRUE(s.Valid());
  }
  if (startedElsewhere) GTEST_SKIP() << "Winsock was already started in this process";
  // With the last scope gone Winsock is no longer started.
  EXPECT_EQ(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), INVALID_SOCKET);
  EXPECT_EQ(::WSAGetLastError(), WSANOTINITIALISED);
}

}  // namespace
}  // namespace zl::win32
