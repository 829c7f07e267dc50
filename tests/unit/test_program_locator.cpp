// The application locator: a saved location, the launcher's own path replaced by the user's pick,
// the two standard places, and the walk over the share.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checks/ProgramLocator.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakePlatform;
using namespace test;

const std::wstring kQuenda = kShare + L"\\Quenda\\Quenda.exe";
const std::wstring kMissingFile =
    L"The Zelkora Launcher is unable to find specified Application file %s. Check that the file "
    L"exists, the folder is shared, and this user has permission on the shared file and folder.";
const std::wstring kNotOnShare =
    L"The Zelkora Launcher is unable to connect to find Velmont or Quenda on the shared folder %s "
    L"on the Orvex computer. Check that the Velmont or Quenda program exists inside the shared "
    L"folder.";

struct ProgramLocatorTest : ::testing::Test {
  std::unique_ptr<FakeRun> fresh;
  FakePlatform* p = nullptr;
  LaunchRun* run = nullptr;
  void SetUp() override { Row(kShare); }
  // A fresh platform and run (options, share cache, findings) for one row of a table.
  FakePlatform& Row(const std::wstring& share) {
    fresh.reset();  // the old run hands the trace back before the next one takes it
    fresh = std::make_unique<FakeRun>();
    p = &fresh->p;
    run = &fresh->run;
    run->options.SetShareLocation(share);
    return *p;
  }
  RegValue Saved() {
    return p->registry.Get(RegRoot::CurrentUser, kLauncherKey, L"AppLocation", RegView::Reg64);
  }
};

TEST_F(ProgramLocatorTest, ASavedLocationIsOnlyConfirmedEvenWithTheAppAtAStandardPlace) {
  const std::wstring saved = kShare + L"\\Apps\\OldVelmont.exe";
  for (bool exists : {true, false}) {
    Row(kShare).files.AddFile(kQuenda, "MZ");
    if (exists)
      p->files.AddFile(saved, "MZ");
    else
      p->files.AddDir(saved);  // a folder of that name is no executable
    run->options.SetAppLocation(saved);
    ProgramLocator::Locate(*run);
    if (exists)
      EXPECT_EQ(run->findings.Count(), 0);
    else
      ExpectOneCritical(run->findings, FormatS(kMissingFile, {saved}));
    EXPECT_EQ(run->options.AppLocation(), saved);
    EXPECT_TRUE(run->options.IsVelmont());
    EXPECT_TRUE(p->ui.forms.empty());
  }
}

TEST_F(ProgramLocatorTest, TheLaunchersOwnPathIsReplacedByTheUsersPick) {
  struct Case {
    std::wstring saved;
    bool pickExists;
  } cases[] = {
      {kShare + L"\\Velmont\\ZelkoraLauncher.exe", true},
      {L"c:\\program files\\zelkora\\zelkoralauncher.EXE", true},
      {kShare + L"\\Velmont\\ZELKORALAUNCHER.EXE", false},
  };
  for (const Case& c : cases) {
    Row(kShare);
    const std::wstring pick = kShare + L"\\Quenda\\QUENDA.EXE";
    if (c.pickExists) p->files.AddFile(pick, "MZ");
    p->files.AddFile(kVelmontOnShare, "MZ");
    p->ui.formAnswers = {true};
    p->ui.fileAnswers = {pick};
    run->options.SetAppLocation(c.saved);

    ProgramLocator::Locate(*run);

    EXPECT_EQ(p->ui.forms.size(), 1u) << c.saved;
    EXPECT_EQ(run->options.AppLocation(), pick);
    EXPECT_TRUE(run->options.IsQuenda());
    EXPECT_EQ(Saved().text, pick);
    if (c.pickExists) {
      EXPECT_EQ(run->findings.Count(), 0) << c.saved;
    } else {
      // The pick is checked as a saved location: the standard place is not used instead.
      ExpectOneCritical(run->findings, FormatS(kMissingFile, {pick}));
    }
  }
}

TEST_F(ProgramLocatorTest, NoPickSearchesTheShareAsForAnEmptyLocation) {
  p->registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"AppLocation",
                        kShare + L"\\ZelkoraLauncher.exe", RegView::Reg64);
  p->files.AddFile(kQuenda, "MZ");
  run->options.SetAppLocation(kShare + L"\\ZelkoraLauncher.exe");
  ProgramLocator::Locate(*run);  // the information window is closed with its close box
  EXPECT_EQ(p->ui.forms.size(), 1u);
  EXPECT_EQ(run->findings.Count(), 0);
  EXPECT_EQ(run->options.AppLocation(), kQuenda);
  EXPECT_TRUE(run->options.IsQuenda());
  // The empty pick was saved; the location found on the share is not.
  EXPECT_EQ(Saved().kind, RegKind::Missing);
}

TEST_F(ProgramLocatorTest, APickThatNamesTheLauncherAgainIsNotAskedForTwice) {
  // Passes the application name test, yet still names the launcher.
  const std::wstring pick = kShare + L"\\ZelkoraLauncher.exe.old\\Velmont.exe";
  p->files.AddFile(pick, "MZ");
  p->files.AddFile(kQuenda, "MZ");
  p->ui.formAnswers = {true, true};
  p->ui.fileAnswers = {pick, pick};
  run->options.SetAppLocation(kShare + L"\\ZelkoraLauncher.exe");

  ProgramLocator::Locate(*run);

  EXPECT_EQ(p->ui.forms.size(), 1u);
  EXPECT_EQ(run->findings.Count(), 0);
  EXPECT_EQ(run->options.AppLocation(), kQuenda);
  EXPECT_TRUE(run->options.IsQuenda());
  EXPECT_EQ(Saved().text, pick);
}

TEST_F(ProgramLocatorTest, StandardPlacesVelmontFirst) {
  struct Case {
    bool velmont, quenda;
    std::wstring expected;
    AppType type;
  } cases[] = {
      {true, true, kVelmontOnShare, AppType::Velmont},
      {false, true, kQuenda, AppType::Quenda},
      {true, false, kVelmontOnShare, AppType::Velmont},
  };
  for (const Case& c : cases) {
    Row(kShare);
    if (c.velmont) p->files.AddFile(kVelmontOnShare, "MZ");
    if (c.quenda) p->files.AddFile(kQuenda, "MZ");
    // A later match on the share must not win over a standard place.
    p->files.AddFile(kShare + L"\\zz\\Quenda.exe", "MZ");

    ProgramLocator::Locate(*run);

    EXPECT_EQ(run->findings.Count(), 0);
    EXPECT_EQ(run->options.AppLocation(), c.expected);
    EXPECT_EQ(run->options.IsVelmont(), c.type == AppType::Velmont);
    EXPECT_EQ(run->options.IsQuenda(), c.type == AppType::Quenda);
    // Found on the share, kept for this run only.
    EXPECT_EQ(Saved().kind, RegKind::Missing);
  }
}

TEST_F(ProgramLocatorTest, TheSearchWalksDepthFirstAndTheLastMatchWins) {
  struct Case {
    const char* name;
    std::vector<std::wstring> files;  // created in this order, which is the listing order
    std::wstring expected;            // empty: nothing found
    AppType type;
  } cases[] = {
      {"a subfolder is walked before the next entry of its parent",
       {L"A\\deep\\Quenda.exe", L"OldVelmont.exe"},
       L"OldVelmont.exe",
       AppType::Velmont},
      {"the later of two folders",
       {L"A\\Velmont.exe", L"B\\Quenda.exe", L"C\\readme.txt"},
       L"B\\Quenda.exe",
       AppType::Quenda},
      {"letter case is ignored",
       {L"Apps\\VELMONT.EXE", L"Apps\\Setup.exe"},
       L"Apps\\VELMONT.EXE",
       AppType::Velmont},
      {"only names ending in .exe",
       {L"Apps\\Velmont.exe", L"Apps\\Quenda.exe.bak", L"Apps\\Quenda.exe.lnk"},
       L"Apps\\Velmont.exe",
       AppType::Velmont},
      {"a folder named like the app is no executable",
       {L"Velmont.exe\\notes.txt"},
       L"",
       AppType::Unknown},
      {"other executables only",
       {L"Tools\\Setup.exe", L"Tools\\regedit.exe"},
       L"",
       AppType::Unknown},
  };
  for (const Case& c : cases) {
    Row(kShare);
    for (const auto& f : c.files) p->files.AddFile(kShare + L"\\" + f, "MZ");

    ProgramLocator::Locate(*run);

    if (c.expected.empty()) {
      ExpectOneCritical(run->findings, FormatS(kNotOnShare, {kShare}));
      EXPECT_EQ(run->options.AppLocation(), L"") << c.name;
    } else {
      EXPECT_EQ(run->findings.Count(), 0) << c.name;
      EXPECT_EQ(run->options.AppLocation(), kShare + L"\\" + c.expected) << c.name;
      EXPECT_EQ(run->options.IsVelmont(), c.type == AppType::Velmont) << c.name;
      EXPECT_EQ(run->options.IsQuenda(), c.type == AppType::Quenda) << c.name;
    }
  }
}

TEST_F(ProgramLocatorTest, LinkedFoldersAreNotEntered) {
  p->files.AddFile(kShare + L"\\A\\Quenda.exe", "MZ");
  p->files.AddReparseDir(kShare + L"\\A\\loop", kShare);  // back to an ancestor
  p->files.AddReparseDir(kShare + L"\\A\\self", kShare + L"\\A\\self");
  p->files.AddFile(L"\\\\srv02\\apps\\Velmont.exe", "MZ");
  p->files.AddReparseDir(kShare + L"\\Z", L"\\\\srv02\\apps");  // visited last, if entered
  ProgramLocator::Locate(*run);
  EXPECT_EQ(run->findings.Count(), 0);
  EXPECT_EQ(run->options.AppLocation(), kShare + L"\\A\\Quenda.exe");
}

TEST_F(ProgramLocatorTest, AFailedSearchChangesNothing) {
  struct Case {
    const char* name;
    std::wstring share;
    bool unlistableSubfolder;
    bool removedWhileWalked = false;
  } cases[] = {
      {"a folder below cannot be listed", kShare, true},
      {"a folder removed while the walk is in the share", kShare, false, true},
      {"the share is missing", L"\\\\srv09\\zelkora$", false},
      {"the share path is malformed", L"\\\\", false},
      {"the share path is empty", L"", false},
  };
  for (const Case& c : cases) {
    Row(c.share);
    p->files.AddFile(kShare + L"\\A\\Velmont.exe", "MZ");
    p->files.AddDir(kShare + L"\\B");
    p->files.AddFile(kShare + L"\\C\\Quenda.exe", "MZ");
    if (c.unlistableSubfolder) p->files.SetUnlistable(kShare + L"\\B");
    if (c.removedWhileWalked) {
      // The share's root is read with B in it; B is gone before the walk gets there.
      p->files.AddFile(kShare + L"\\B\\Velmont.exe", "MZ");
      p->files.SetOnList([this](const std::wstring& dir) {
        if (dir != kShare) return;
        p->files.DeleteFile(kShare + L"\\B\\Velmont.exe");
        p->files.RemoveDirectory(kShare + L"\\B");
      });
    }
    // On the root of the current drive, not looked for by the fake.
    p->files.AddFile(L"C:\\Velmont\\Velmont.exe", "MZ");

    ProgramLocator::Locate(*run);

    ExpectOneCritical(run->findings, FormatS(kNotOnShare, {c.share}));
    EXPECT_EQ(run->options.AppLocation(), L"") << c.name;
    EXPECT_TRUE(run->options.IsUnknown()) << c.name;
  }
}

}  // namespace
}  // namespace zl
