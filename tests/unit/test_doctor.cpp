// The check-only doctor over fakes: its checks, the application's command line and exit codes
// for a workstation that would start, one with a missing share, one where the launcher would ask,
// one with an offer; that no write reaches the platform; and that the share's write test is told
// from other changes by the change's kind and path.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "doctor/Doctor.h"
#include "model/LaunchRun.h"
#include "model/LauncherOptions.h"
#include "platform/DryRun.h"
#include "platform/fake/FakePlatform.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakePlatform;
using namespace test;

// One workstation: the fakes below the dry run the doctor's run goes over.
struct Workstation {
  FakePlatform p;
  DryRun dry{p.Services()};
  LaunchRun run{dry.Services()};
  std::wstring commandLine = L"ZelkoraLauncher.exe";

  void User(const wchar_t* name, const std::wstring& value) {
    p.registry.SetString(RegRoot::CurrentUser, kLauncherKey, name, value, RegView::Reg64);
  }
  DoctorReport Run() { return Doctor::Run(run, dry, commandLine); }
};

std::vector<std::wstring> Statuses(const DoctorReport& r) {
  std::vector<std::wstring> s;
  for (const DoctorCheck& c : r.checks) s.push_back(IntToText(c.step) + L" " + c.status);
  return s;
}

TEST(Doctor, AWorkstationThatWouldStartChangesNothingAndGetsTheCommandLine) {
  Workstation t;
  t.User(L"AppLocation", kVelmontOnShare);
  t.p.registry.SetDword(RegRoot::CurrentUser, kLauncherKey, L"SkipCR", 1, RegView::Reg64);
  t.p.registry.SetDword(RegRoot::CurrentUser, kLauncherKey, L"SkipPC", 1, RegView::Reg64);
  t.p.files.AddFile(kVelmontOnShare, "MZ");
  t.p.files.AddFile(kBrailleFont, "font");
  t.commandLine = L"ZelkoraLauncher.exe -Company=\"A B\"";
  const auto keysBefore = t.p.registry.AllKeys(RegRoot::CurrentUser);

  const DoctorReport r = t.Run();

  EXPECT_EQ(Statuses(r),
            (std::vector<std::wstring>{L"1 OK", L"2 OK", L"3 SKIPPED", L"4 OK", L"5 OK"}));
  EXPECT_EQ(r.checks[2].message, L"The write test of \\\\srv01\\zelkora$ was not performed.");
  EXPECT_EQ(r.commandLine, L"\"" + kVelmontOnShare + L"\" -OrvexAddress=srv01 -Company=A B");
  EXPECT_EQ(r.exitCode, 0);
  // The zone entries are what the launcher would add; nothing of it, nor of the share's test
  // file, reached the platform.
  std::wstring changes;
  for (const std::wstring& c : r.changes) changes += c + L"\n";
  EXPECT_NE(changes.find(L"create HKCU\\" + std::wstring(kZoneMap) + L"\\Domains\\srv01"),
            std::wstring::npos)
      << ToUtf8(changes);
  EXPECT_EQ(changes.find(L".txt"), std::wstring::npos) << ToUtf8(changes);
  EXPECT_EQ(t.p.registry.AllKeys(RegRoot::CurrentUser), keysBefore);
  EXPECT_EQ(t.p.registry.writes, 0);
  EXPECT_TRUE(t.p.files.Changes().empty());
  EXPECT_TRUE(t.p.shell.executed.empty());
  EXPECT_TRUE(t.p.shell.opened.empty());
}

TEST(Doctor, FindingsQuestionsAndOffersSetTheExitCode) {
  struct Case {
    const char* name;
    std::function<void(Workstation&)> arrange;
    std::vector<std::wstring> statuses;
    int exitCode;
  } cases[] = {
      {"the configured server has no share",
       [](Workstation& t) {
         t.User(L"OrvexAddress", L"srv09");
         t.p.network.accepting = {L"srv09:2879"};
       },
       {L"1 OK", L"2 OK", L"3 CRITICAL"},
       2},
      {"nobody answers: the Information window would ask, and the doctor stops there",
       [](Workstation&) {},
       {L"1 OK", L"2 OK", L"2 ASK"},
       1},
      {"the braille fonts are missing",
       [](Workstation& t) {
         t.User(L"AppLocation", kVelmontOnShare);
         t.p.registry.SetDword(RegRoot::CurrentUser, kLauncherKey, L"SkipCR", 1, RegView::Reg64);
         t.p.registry.SetDword(RegRoot::CurrentUser, kLauncherKey, L"SkipPC", 1, RegView::Reg64);
         t.p.files.AddFile(kVelmontOnShare, "MZ");
       },
       {L"1 OK", L"2 OK", L"3 SKIPPED", L"4 OK", L"5 OFFER"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Workstation t;
    c.arrange(t);
    const DoctorReport r = t.Run();
    EXPECT_EQ(Statuses(r), c.statuses);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.commandLine.empty(), c.exitCode == 2 || c.statuses.back() == L"2 ASK");
    EXPECT_TRUE(t.p.files.Changes().empty());
    EXPECT_EQ(t.p.registry.writes, 0);
  }
}

TEST(Doctor, ListsWhereTheDiscoveryDatagramWentAndWhereItCouldNot) {
  Workstation t;
  t.p.network.adapters = {{true, false, {{0xC0000205u, 24}}}};
  t.p.network.unreachable = {0xC00002FFu};
  const DoctorReport r = t.Run();
  ASSERT_GE(r.checks.size(), 3u);
  EXPECT_EQ(r.checks[1],
            (DoctorCheck{2, L"OK", L"Discovery sent to 255.255.255.255, UDP port 2868"}));
  EXPECT_EQ(r.checks[2], (DoctorCheck{2, L"OK",
                                      L"Discovery could not be sent to 192.0.2.255, UDP port 2868: "
                                      L"Socket Error # 10065"}));
}

// The dry file system with one more change on each file the launcher makes empty: the same
// file written whole. When makesEmpty is false, only that write is recorded.
struct AlsoWritingFiles : DryRunFileSystem {
  using DryRunFileSystem::DryRunFileSystem;
  bool makesEmpty = true;
  bool CreateEmptyFile(const std::wstring& path) override {
    CreateWrite(path);
    return !makesEmpty || DryRunFileSystem::CreateEmptyFile(path);
  }
};

TEST(Doctor, RecognisesTheSharesWriteTestByTheChangesKindAndPath) {
  for (const bool madeEmpty : {true, false}) {
    SCOPED_TRACE(madeEmpty ? "made empty, then written" : "written only");
    Workstation t;
    t.User(L"AppLocation", kVelmontOnShare);
    t.p.files.AddFile(kVelmontOnShare, "MZ");
    AlsoWritingFiles files{t.p.files, t.dry.log};
    files.makesEmpty = madeEmpty;
    PlatformServices ports = t.dry.Services();
    ports.files = &files;
    LaunchRun run(ports);

    const DoctorReport r = Doctor::Run(run, t.dry, t.commandLine);

    std::wstring testFile;
    for (const Change& c : t.dry.log.Changes())
      if (c.kind == ChangeKind::WriteFile) testFile = c.target;
    ASSERT_TRUE(StartsWith(testFile, kShare + L"\\")) << ToUtf8(testFile);
    std::vector<std::wstring> step3;
    for (const DoctorCheck& c : r.checks)
      if (c.step == 3) step3.push_back(c.status);
    EXPECT_EQ(step3, std::vector<std::wstring>{madeEmpty ? L"SKIPPED" : L"OK"});
    const auto reported = [&](ChangeKind kind) {
      const std::wstring line = Change{kind, testFile, L"", L""}.Text();
      return std::find(r.changes.begin(), r.changes.end(), line) != r.changes.end();
    };
    EXPECT_TRUE(reported(ChangeKind::WriteFile));
    EXPECT_FALSE(reported(ChangeKind::CreateFile));
    EXPECT_EQ(reported(ChangeKind::DeleteFile), !madeEmpty);
  }
}

TEST(DoctorReportText, OneLinePerCheckAndExactJson) {
  DoctorReport r;
  r.checks = {{3, L"CRITICAL", L"No \"share\".\r\n\r\nCheck it."}, {5, L"OFFER", L"a\\b"}};
  r.changes = {L"write HKCU\\x \"v\" = 1"};
  r.exitCode = 2;
  EXPECT_EQ(Doctor::Text(r),
            L"step 3  CRITICAL  No \"share\". / Check it.\r\nstep 5  OFFER     a\\b\r\n"
            L"command line: (the application would not be started)\r\n"
            L"the launcher would change:\r\n  write HKCU\\x \"v\" = 1\r\nexit code: 2\r\n");
  EXPECT_EQ(Doctor::Json(r),
            "{\"checks\": [{\"step\": 3, \"status\": \"CRITICAL\", \"message\": \"No \\\"share\\\"."
            "\\u000d\\u000a\\u000d\\u000aCheck it.\"}, {\"step\": 5, \"status\": \"OFFER\", "
            "\"message\": \"a\\\\b\"}], \"commandLine\": \"\", \"changes\": [\"write HKCU\\\\x "
            "\\\"v\\\" = 1\"], \"exitCode\": 2}\n");
}

}  // namespace
}  // namespace zl
