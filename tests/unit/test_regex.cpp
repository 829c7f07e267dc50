#include "utils/Regex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace zl {
namespace {

// The launcher's own path patterns, character for character.
const wchar_t kDirFilePattern[] = L"^(.*\\\\)(.+?)\\\\?$";
const wchar_t kShareServerPattern[] = L"^\\\\\\\\([^\\\\]+)";

struct PathCase {
  std::wstring subject;
  std::optional<std::wstring> dir;     // group 1 of the dir/file pattern
  std::optional<std::wstring> file;    // group 2 of the dir/file pattern
  std::optional<std::wstring> server;  // group 1 of the share-server pattern
};

TEST(RegexTest, LauncherPathPatterns) {
  const std::vector<PathCase> cases = {
      {L"C:\\dir\\file.exe", L"C:\\dir\\", L"file.exe", std::nullopt},
      {L"C:\\dir\\sub\\", L"C:\\dir\\", L"sub", std::nullopt},
      {L"\\\\srv01\\zelkora$", L"\\\\srv01\\", L"zelkora$", L"srv01"},
      {L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe", L"\\\\srv01\\zelkora$\\Velmont\\",
       L"Velmont.exe", L"srv01"},
      {L"file.exe", std::nullopt, std::nullopt, std::nullopt},
      {L"C:\\", std::nullopt, std::nullopt, std::nullopt},
      {L"\\\\\\srv", L"\\\\\\", L"srv", std::nullopt},
      {L"\\\\s\u00e9rv\u00e9r\\zelkora$", L"\\\\s\u00e9rv\u00e9r\\", L"zelkora$",
       L"s\u00e9rv\u00e9r"},
      {L"", std::nullopt, std::nullopt, std::nullopt},
  };
  const Regex dirFile(kDirFilePattern);
  const Regex server(kShareServerPattern);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subject);
    auto m = dirFile.Match(c.subject);
    ASSERT_EQ(m.has_value(), c.dir.has_value());
    EXPECT_EQ(dirFile.Search(c.subject), c.dir.has_value());
    if (m) {
      ASSERT_EQ(m->size(), 3u);
      EXPECT_EQ((*m)[0], c.subject);
      EXPECT_EQ((*m)[1], *c.dir);
      EXPECT_EQ((*m)[2], *c.file);
    }
    auto s = server.Match(c.subject);
    ASSERT_EQ(s.has_value(), c.server.has_value());
    if (s) {
      ASSERT_EQ(s->size(), 2u);
      EXPECT_EQ((*s)[1], *c.server);
    }
  }
}

TEST(RegexTest, SearchIsUnanchoredAndHonoursCase) {
  struct Case {
    const wchar_t* pattern;
    bool caseless;
    const wchar_t* subject;
    bool found;
  };
  const Case cases[] = {
      {L"(Quenda|Velmont)\\.exe$", true, L"VELMONT.EXE", true},
      {L"(Quenda|Velmont)\\.exe$", true, L"C:\\Apps\\OldVelmont.exe", true},
      {L"(Quenda|Velmont)\\.exe$", true, L"quenda.Exe", true},
      {L"(Quenda|Velmont)\\.exe$", true, L"Velmont.exe.bak", false},
      {L"(Quenda|Velmont)\\.exe$", true, L"Setup.exe", false},
      {L"(Quenda|Velmont)\\.exe$", false, L"VELMONT.EXE", false},
      {L"(Quenda|Velmont)\\.exe$", false, L"Velmont.exe", true},
      {L"\\d+\\.\\d+\\.\\d+\\.\\d+", false, L"x10.0.0.5y", true},
      {L"\\d+\\.\\d+\\.\\d+\\.\\d+", false, L"10.0.0", false},
      {L"^abc", false, L"xabc", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::wstring(c.pattern) + L" / " + c.subject);
    EXPECT_EQ(Regex(c.pattern, c.caseless).Search(c.subject), c.found);
  }
}

TEST(RegexTest, MatchReturnsLeftmostMatchAndEmptyUnsetGroups) {
  const Regex ip(L"(\\d+)\\.(\\d+)\\.(\\d+)\\.(\\d+)");
  auto m = ip.Match(L"at 10.0.0.5 and 192.168.1.1");
  ASSERT_TRUE(m);
  EXPECT_EQ(*m, (std::vector<std::wstring>{L"10.0.0.5", L"10", L"0", L"0", L"5"}));

  // Group 2 takes no part, group 3 does: the vector still has every group.
  const Regex alt(L"(a)(x)?(b)?");
  m = alt.Match(L"zab");
  ASSERT_TRUE(m);
  EXPECT_EQ(*m, (std::vector<std::wstring>{L"ab", L"a", L"", L"b"}));
  // Trailing unset groups too.
  m = alt.Match(L"a");
  ASSERT_TRUE(m);
  EXPECT_EQ(*m, (std::vector<std::wstring>{L"a", L"a", L"", L""}));
}

TEST(RegexTest, BadPatternThrowsWithPcreMessage) {
  for (const wchar_t* bad : {L"(unclosed", L"[z-a]", L"a{2,1}", L"\\"}) {
    SCOPED_TRACE(bad);
    try {
      Regex r(bad);
      FAIL() << "no error";
    } catch (const LauncherError& e) {
      EXPECT_NE(e.Message().find(bad), std::wstring::npos) << e.what();
      EXPECT_NE(e.Message().find(L"offset"), std::wstring::npos) << e.what();
    }
  }
}

TEST(RegexTest, SubjectsAreCodeUnitsNotUtf) {
  // A lone surrogate (possible in Windows file names) must neither fail nor stop the match.
  std::wstring subject = L"\\\\srv";
  subject += static_cast<wchar_t>(0xD800);
  subject += L"x\\share\\file.exe";
  auto m = Regex(kDirFilePattern).Match(subject);
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)[2], L"file.exe");
  auto s = Regex(kShareServerPattern).Match(subject);
  ASSERT_TRUE(s);
  EXPECT_EQ((*s)[1].size(), 5u);
  // One code unit per '.': a non-ASCII letter is one character.
  EXPECT_TRUE(Regex(L"^s.rv$").Search(L"s\u00e9rv"));
}

TEST(RegexTest, MoveTransfersTheCompiledPattern) {
  Regex a(L"^x+$");
  Regex b(std::move(a));
  EXPECT_TRUE(b.Search(L"xxx"));
  Regex c(L"y");
  c = std::move(b);
  EXPECT_TRUE(c.Search(L"xx"));
  EXPECT_FALSE(c.Search(L"y"));
  EXPECT_THROW(a.Search(L"x"), LauncherError);  // NOLINT(bugprone-use-after-move)
}

TEST(RegexTest, OneCompiledPatternServesManyThreads) {
  const Regex r(L"^(.*\\\\)(.+?)\\\\?$");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        std::wstring name = L"f" + std::to_wstring(t * 10000 + i);
        auto m = r.Match(L"C:\\d" + std::to_wstring(t) + L"\\" + name);
        if (!m || (*m)[2] != name) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace zl
