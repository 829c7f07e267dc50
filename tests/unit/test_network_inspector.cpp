// The share access check: the share path, the test file on the share, and the two critical
// messages with their placeholders.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checks/NetworkInspector.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

using Change = FakeFileSystem::Change;
using Kind = FakeFileSystem::ChangeKind;

const std::wstring kNoAccess =
    L"The Zelkora Launcher is unable to connect to the shared folder %s on the Orvex computer "
    L"with the current user %s.  Check that the folder is shared and this user has R/W "
    L"permission on the shared folder.";
const std::wstring kNoShare =
    L"Zelkora Launcher has detected a Orvex running on the computer %s (%s).\r\n\r\nThe network "
    L"share %s does not appear to be valid.  Please check that this network share exists and "
    L"try again.";

struct NetworkInspectorTest : test::FakeRunTest {
  // The findings and options of the run checked: the fixture's, or a table row's own.
  static void ExpectOneCritical(const LaunchRun& checked, const std::wstring& message) {
    test::ExpectOneCritical(checked.findings, message);
    EXPECT_EQ(checked.options.ShareLocation(), L"");
  }
};

TEST_F(NetworkInspectorTest, NoServerAddressTouchesNothing) {
  p.files.AddDir(L"\\\\srv01\\zelkora$");
  NetworkInspector::Inspect(run);
  EXPECT_EQ(run.findings.Count(), 0);
  EXPECT_EQ(run.options.ShareLocation(), L"");
  EXPECT_TRUE(p.files.Changes().empty());
  EXPECT_TRUE(p.shell.executed.empty());
  EXPECT_EQ(p.system.guidsMade, 0);
}

TEST_F(NetworkInspectorTest, WritableShareBecomesTheShareLocationAndKeepsNoTestFile) {
  struct Case {
    std::wstring address, share;
  } cases[] = {
      {L"srv01", L"\\\\srv01\\zelkora$"},
      {L"10.0.0.5", L"\\\\10.0.0.5\\zelkora$"},
      {L"SRV-02.office.local", L"\\\\SRV-02.office.local\\zelkora$"},
  };
  for (const Case& c : cases) {
    test::FakeRun fresh;
    fresh.p.files.AddDir(c.share);
    fresh.run.options.SetOrvexAddress(c.address);

    NetworkInspector::Inspect(fresh.run);

    EXPECT_EQ(fresh.run.findings.Count(), 0) << c.address;
    EXPECT_EQ(fresh.run.options.ShareLocation(), c.share);
    auto changes = fresh.p.files.Changes();
    ASSERT_EQ(changes.size(), 2u) << c.address;
    EXPECT_EQ(changes[0].kind, Kind::CreateFile);
    EXPECT_EQ(changes[1], (Change{Kind::DeleteFile, changes[0].path}));
    // \\server\zelkora$\{8-4-4-4-12}.txt
    EXPECT_TRUE(StartsWith(changes[0].path, c.share + L"\\{")) << changes[0].path;
    EXPECT_EQ(changes[0].path.size(), c.share.size() + 1 + 38 + 4) << changes[0].path;
    EXPECT_EQ(changes[0].path.substr(changes[0].path.size() - 5), L"}.txt");
    std::vector<std::wstring> left;
    fresh.p.files.ListDirectory(c.share, [&](const DirEntry& e) {
      left.push_back(e.name);
      return true;
    });
    EXPECT_TRUE(left.empty()) << c.address;
    // The share was woken through the shell before it was tested.
    ASSERT_EQ(fresh.p.shell.executed.size(), 1u);
    EXPECT_TRUE(StartsWith(fresh.p.shell.executed[0].file, c.share + L"\\{"))
        << fresh.p.shell.executed[0].file;
  }
}

TEST_F(NetworkInspectorTest, EachLaunchUsesANewTestNameAndLeavesOldFilesAlone) {
  p.files.AddFile(L"\\\\srv01\\zelkora$\\{6F9619FF-8B86-D011-B42D-00C04FC964FF}.txt", "");
  p.files.AddFile(L"\\\\srv01\\zelkora$\\{7A1D2C3B-0000-4000-8000-00AABBCCDDEE}.txt", "");
  run.options.SetOrvexAddress(L"srv01");
  NetworkInspector::Inspect(run);
  NetworkInspector::Inspect(run);
  auto changes = p.files.Changes();
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_NE(changes[0].path, changes[2].path);
  EXPECT_EQ(run.findings.Count(), 0);
  EXPECT_TRUE(p.files.Exists(L"\\\\srv01\\zelkora$\\{6F9619FF-8B86-D011-B42D-00C04FC964FF}.txt"));
  EXPECT_TRUE(p.files.Exists(L"\\\\srv01\\zelkora$\\{7A1D2C3B-0000-4000-8000-00AABBCCDDEE}.txt"));
}

TEST_F(NetworkInspectorTest, ReadOnlyShareNamesTheShareAndTheUser) {
  struct Case {
    std::wstring user;
  } cases[] = {{L"OFFICE\\anna"}, {L""}};
  for (const Case& c : cases) {
    test::FakeRun fresh;
    fresh.p.files.AddDir(L"\\\\srv01\\zelkora$");
    fresh.p.files.SetReadOnlyDir(L"\\\\srv01\\zelkora$", true);
    fresh.p.system.userName = c.user;
    fresh.run.options.SetOrvexAddress(L"srv01");

    NetworkInspector::Inspect(fresh.run);

    ExpectOneCritical(fresh.run, FormatS(kNoAccess, {L"\\\\srv01\\zelkora$", c.user}));
    EXPECT_TRUE(fresh.p.files.Changes().empty());
  }
}

TEST_F(NetworkInspectorTest, MissingShareNamesAddressResolvedAddressAndSharePath) {
  struct Case {
    std::wstring address;
    std::wstring resolvesTo;  // empty: the name does not resolve
    std::wstring shown;
    bool otherShare;  // the server is there, with other shares only
  } cases[] = {
      {L"srv01", L"10.0.0.7", L"10.0.0.7", true},
      {L"srv01", L"", L"", false},
      {L"10.0.0.5", L"", L"10.0.0.5", true},
      {L"srv01", L"10.0.0.7", L"10.0.0.7", false},
  };
  for (const Case& c : cases) {
    test::FakeRun fresh;
    if (!c.resolvesTo.empty()) fresh.p.network.addresses[c.address] = c.resolvesTo;
    if (c.otherShare) fresh.p.files.AddDir(L"\\\\" + c.address + L"\\public");
    fresh.run.options.SetOrvexAddress(c.address);

    NetworkInspector::Inspect(fresh.run);

    ExpectOneCritical(fresh.run,
                      FormatS(kNoShare, {c.address, c.shown, L"\\\\" + c.address + L"\\zelkora$"}));
    EXPECT_TRUE(fresh.p.files.Changes().empty());
  }
}

}  // namespace
}  // namespace zl
