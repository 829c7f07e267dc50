#pragma once
// What the native unit tests share: the places on the workstation and the share that several
// tests look at, a fresh start for the process-wide state, and named rows for wide tables.

#include <gtest/gtest.h>

#include <string>

#include "model/BGWorker.h"
#include "model/LaunchError.h"
#include "model/LauncherOptions.h"
#include "model/ShareCache.h"

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

// The options and the worker the location dialog hands over to are process-wide: each test
// (and each table row that needs it) starts and ends with fresh ones, so that no test depends
// on what another left behind.
class FreshGlobals {
 public:
  FreshGlobals() { Reset(); }
  ~FreshGlobals() { Reset(); }
  FreshGlobals(const FreshGlobals&) = delete;
  FreshGlobals& operator=(const FreshGlobals&) = delete;
  static void Reset() {
    Options() = LauncherOptions();
    ShareCache::Forget();
    g_locator_worker = nullptr;
  }
};

struct FreshGlobalsTest : ::testing::Test, FreshGlobals {};

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
