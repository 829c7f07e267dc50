// The workstation check: which warnings, in which order, the disk threshold to the byte, the
// version comparisons, and the removal of the applications' option keys.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "checks/PCInspector.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "TestSupport.h"

namespace zl {
namespace {

const std::wstring kDiskWarning =
    L"This computer is running very low on free drive space on the C drive.  This can cause slow "
    L"performance, program crashes, and even data corruption.";
const std::wstring kVersionWarning =
    L"Your operating system does not meet the requirements for Zelkora programs.  You must be "
    L"running a Professional version (not a Home version) of Windows XP or later.  Zelkora "
    L"recommends users use Windows 7 Professional or higher.";
const std::wstring kQuendaKey = L"Software\\Zelkora Software\\Quenda\\Options";
const std::wstring kVelmontKey = L"Software\\Zelkora Software\\Velmont\\Options";

struct PCInspectorTest : test::FakeRunTest {
  LaunchErrorList& list = run.findings;
  void SetVersion(uint32_t major, uint32_t minor, bool ok = true) {
    p.system.version = OsVersion{ok, major, minor, 2};
  }
  std::vector<std::wstring> Messages() const {
    std::vector<std::wstring> out;
    for (int i = 0; i < list.Count(); ++i) {
      EXPECT_EQ(list.Items(i)->Severity(), ErrorSeverity::Warning);
      out.push_back(list.Items(i)->Message());
    }
    return out;
  }
};

TEST_F(PCInspectorTest, DiskWarningFromTheCallersFreeBytesAt250MiB) {
  struct Case {
    std::optional<int64_t> freeBytes;
    bool warned;
  } cases[] = {
      {int64_t(262144000), false}, {int64_t(262143999), true},
      {int64_t(0), true},          {std::nullopt, true},  // no drive C:, or the query failed
      {int64_t(1) << 40, false},
  };
  SetVersion(6, 1);
  for (const Case& c : cases) {
    list = LaunchErrorList();
    p.system.freeBytes = c.freeBytes;
    PCInspector::Inspect(run);
    std::vector<std::wstring> expected;
    if (c.warned) expected.push_back(kDiskWarning);
    EXPECT_EQ(Messages(), expected) << (c.freeBytes ? *c.freeBytes : -1);
    EXPECT_FALSE(list.IsFatal());
  }
}

TEST_F(PCInspectorTest, VersionWarningBelowXPAndWindows7Test) {
  struct Case {
    uint32_t major, minor;
    bool ok;
    bool xpOrHigher, win7OrHigher;
  } cases[] = {
      {5, 0, true, false, false},  {5, 1, true, true, false},    {5, 2, true, true, false},
      {6, 0, true, true, false},   {6, 1, true, true, true},     {6, 2, true, true, true},
      {6, 3, true, true, true},    {7, 0, true, true, true},     {10, 0, true, true, true},
      {4, 90, true, false, false}, {10, 0, false, false, false},  // the version could not be read
  };
  for (const Case& c : cases) {
    list = LaunchErrorList();
    SetVersion(c.major, c.minor, c.ok);
    PCInspector::Inspect(run);
    std::vector<std::wstring> expected;
    if (!c.xpOrHigher) expected.push_back(kVersionWarning);
    EXPECT_EQ(Messages(), expected) << c.major << "." << c.minor;
    EXPECT_EQ(PCInspector::IsWindows7OrHigher(p.system), c.win7OrHigher)
        << c.major << "." << c.minor;
  }
}

TEST_F(PCInspectorTest, AFailedVersionQueryCountsAsAnOldWindows) {
  // Whatever the structure held: a query that failed says nothing about the version.
  p.system.version = OsVersion{false, 6, 1, 2};
  EXPECT_FALSE(PCInspector::IsWindows7OrHigher(p.system));
  PCInspector::Inspect(run);
  EXPECT_EQ(Messages(), (std::vector<std::wstring>{kVersionWarning}));
}

TEST_F(PCInspectorTest, LowDiskAndOldWindowsGiveBothWarningsDiskFirst) {
  SetVersion(5, 0);
  p.system.freeBytes = int64_t(100);
  PCInspector::Inspect(run);
  EXPECT_EQ(Messages(), (std::vector<std::wstring>{kDiskWarning, kVersionWarning}));
}

TEST_F(PCInspectorTest, SkipPCSuppressesTheWarningsButNotTheKeyRemoval) {
  SetVersion(5, 0);
  p.system.freeBytes = std::nullopt;
  p.registry.SetString(RegRoot::CurrentUser, kQuendaKey, L"Grid", L"1", RegView::Reg64);
  p.registry.SetString(RegRoot::CurrentUser, kVelmontKey, L"Grid", L"1", RegView::Reg64);
  run.options.SetSkipPC(true);
  PCInspector::Inspect(run);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(p.registry.HasKey(RegRoot::CurrentUser, kQuendaKey, RegView::Reg64));
  EXPECT_FALSE(p.registry.HasKey(RegRoot::CurrentUser, kVelmontKey, RegView::Reg64));
}

TEST_F(PCInspectorTest, OptionKeysGoWithAllTheirSubkeysAndNothingElse) {
  auto& reg = p.registry;
  const RegRoot cu = RegRoot::CurrentUser;
  reg.SetString(cu, kVelmontKey, L"Grid", L"1", RegView::Reg64);
  reg.SetString(cu, kVelmontKey + L"\\Columns\\Invoices", L"Width", L"80", RegView::Reg64);
  reg.SetString(cu, kVelmontKey + L"\\Printers", L"Default", L"P1", RegView::Reg64);
  reg.SetString(cu, L"Software\\Zelkora Software\\Velmont\\Connection", L"Server", L"srv01",
                RegView::Reg64);
  reg.SetString(cu, L"Software\\Zelkora Software\\Quenda", L"Version", L"9", RegView::Reg64);
  SetVersion(6, 1);

  PCInspector::Inspect(run);

  EXPECT_EQ(list.Count(), 0);
  // Only the Velmont key was there; the missing Quenda key is passed over without a finding.
  EXPECT_EQ(reg.AllKeys(cu, RegView::Reg64),
            (std::vector<std::wstring>{L"Software", L"Software\\Zelkora Software",
                                       L"Software\\Zelkora Software\\Quenda",
                                       L"Software\\Zelkora Software\\Velmont",
                                       L"Software\\Zelkora Software\\Velmont\\Connection"}));
  EXPECT_EQ(reg.Get(cu, L"Software\\Zelkora Software\\Quenda", L"Version", RegView::Reg64).text,
            L"9");
}

TEST_F(PCInspectorTest, AKeyThatCannotBeRemovedIsLeftQuietly) {
  p.registry.SetString(RegRoot::CurrentUser, kQuendaKey, L"Grid", L"1", RegView::Reg64);
  p.registry.DenyWrite(RegRoot::CurrentUser, kQuendaKey, RegView::Reg64);
  p.registry.SetString(RegRoot::CurrentUser, kVelmontKey, L"Grid", L"1", RegView::Reg64);
  SetVersion(6, 1);
  EXPECT_NO_THROW(PCInspector::Inspect(run));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(p.registry.HasKey(RegRoot::CurrentUser, kVelmontKey, RegView::Reg64));
}

}  // namespace
}  // namespace zl
