#pragma once
// What the native unit tests share: the places on the workstation and the share that several
// tests look at, a run over fakes, and named rows for wide tables.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "model/LaunchError.h"
#include "model/LaunchRun.h"
#include "model/Trace.h"
#include "platform/fake/FakePlatform.h"

namespace zl::test {

// Written out here rather than taken from the launcher, so a wrong path there fails a test.
inline const std::wstring kShare = L"\\\\srv01\\zelkora$";
inline const std::wstring kVelmontOnShare = kShare + L"\\Velmont\\Velmont.exe";
inline const std::wstring kMsiexec = L"C:\\Windows\\system32\\msiexec.exe";
inline const std::wstring kBrailleUrl = L"http://downloads.example/Velmont/Braille%20Fonts.msi";
inline const std::wstring kBrailleFont = L"C:\\Windows\\fonts\\BRAILLE.TTF";
inline const std::wstring kCrpe32 = L"C:\\Windows\\system32\\crpe32.dll";
inline const std::wstring kZoneMap =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap";

// The name an installer's own folder gets from random bytes: "zl", then each byte, lowest first,
// in hexadecimal (written out here, not taken from the launcher).
inline std::wstring FolderName(uint64_t random) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = L"zl";
  for (int i = 0; i < 8; ++i, random >>= 8) {
    name += kHex[(random >> 4) & 0xF];
    name += kHex[random & 0xF];
  }
  return name;
}

// A run over fakes, built as a program block builds one over Win32: p holds the fakes, run the
// options, the share cache and the findings. Each test (and each table row that needs it) makes
// its own. While it lives the trace goes to the fakes' debug output (p.system.debugOutput).
struct FakeRun {
  fake::FakePlatform p;
  LaunchRun run{p.Services()};
  FakeRun() { Trace::SetOutput(&p.system, &p.files); }
  ~FakeRun() {
    Trace::SetOutput(nullptr, nullptr);
    Trace::SetLogFile(L"");
  }
  FakeRun(const FakeRun&) = delete;
  FakeRun& operator=(const FakeRun&) = delete;
};

struct FakeRunTest : ::testing::Test, FakeRun {};

// For tables whose rows each need a clean platform and run: Fresh() replaces both; p and run
// point into the current one.
struct FreshRunTest : ::testing::Test {
  std::optional<FakeRun> current{std::in_place};
  fake::FakePlatform* p = &current->p;
  LaunchRun* run = &current->run;
  void Fresh() {
    current.reset();
    current.emplace();
    p = &current->p;
    run = &current->run;
  }
};

// The finding a step that cannot go on leaves: one, critical, with this text, the list fatal.
inline void ExpectOneCritical(const LaunchErrorList& list, const std::wstring& message) {
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->Message(), message);
  EXPECT_EQ(list.Items(0)->Severity(), ErrorSeverity::Critical);
  EXPECT_TRUE(list.IsFatal());
}

// A table row with named fields, for want of designated initializers in C++17: the row type
// gives each field its default, and the row sets only what it is about.
template <class Row, class Fill>
Row MakeRow(Fill fill) {
  Row row{};
  fill(row);
  return row;
}

}  // namespace zl::test
