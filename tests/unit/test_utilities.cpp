// Process starts and waits, folder probes, the 64-bit and elevation tests, the message dialog's
// make-up, window centring and the install hand-off by file type.

#include <gtest/gtest.h>

#include "platform/fake/FakePlatform.h"
#include "model/LauncherUtils.h"
#include "model/ShareCache.h"
#include "utils/Paths.h"
#include "prerequisites/Installer.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakePlatform;
using fake::FakeProcess;
using namespace test;

ShellStart Started(int waits) { return ShellStart{true, std::make_unique<FakeProcess>(waits)}; }

TEST(RunExecutableFile, FillsTheShellRequestAndWaitsWhilePumpingMessages) {
  FakePlatform p;
  p.shell.onExecuteEx = [](const ShellExecuteRequest&) { return Started(3); };
  EXPECT_TRUE(
      LauncherUtils::RunExecutableFile(p.Services(), L"C:\\tmp\\setup.exe", L"/q", true, false));
  ASSERT_EQ(p.shell.executed.size(), 1u);
  const ShellExecuteRequest& r = p.shell.executed[0];
  EXPECT_EQ(r.mask, see::NoCloseProcess | see::NoZoneChecks | see::FlagNoUi);
  EXPECT_FALSE(r.verb.has_value());
  EXPECT_EQ(r.file, L"C:\\tmp\\setup.exe");
  EXPECT_EQ(r.parameters, L"/q");
  EXPECT_EQ(r.directory, std::optional<std::wstring>(L"C:\\tmp\\"));
  EXPECT_EQ(r.show, kSwHide);
  // Three timed-out waits each pump once, and once more after the end.
  EXPECT_EQ(p.ui.processMessagesCalls, 4);
}

TEST(RunExecutableFile, VerbAndFailure) {
  struct Case {
    OsVersion version;
    bool runAs;
    std::optional<std::wstring> verb;
  } cases[] = {
      {{true, 5, 1, 2}, true, L"open"},  // XP has no consent prompt
      {{true, 5, 0, 2}, true, L"runas"},      {{true, 5, 2, 2}, true, L"runas"},
      {{true, 6, 0, 2}, true, L"runas"},      {{true, 10, 0, 2}, true, L"runas"},
      {{false, 0, 0, 0}, true, L"runas"},  // a failed version query
      {{true, 6, 1, 2}, false, std::nullopt},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.system.version = c.version;
    EXPECT_FALSE(
        LauncherUtils::RunExecutableFile(p.Services(), L"msiexec.exe", L"", false, c.runAs));
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].verb, c.verb);
    EXPECT_EQ(p.shell.executed[0].mask, see::NoCloseProcess | see::NoZoneChecks);
    // A name without a folder passes an empty working folder; a failed start does not wait.
    EXPECT_EQ(p.shell.executed[0].directory, std::optional<std::wstring>(L""));
    EXPECT_EQ(p.ui.processMessagesCalls, 0);
  }
}

TEST(RunExecutableFile, AStartWithoutProcessHandleStillReturnsTrue) {
  FakePlatform p;
  p.shell.onExecuteEx = [](const ShellExecuteRequest&) { return ShellStart{true, nullptr}; };
  EXPECT_TRUE(LauncherUtils::RunExecutableFile(p.Services(), L"a.exe", L"", false, false));
  EXPECT_EQ(p.ui.processMessagesCalls, 1);
}

TEST(ExecuteCommand, RunsTheCommandProcessorHiddenInTheCurrentFolder) {
  FakePlatform p;
  p.system.version = {true, 6, 1, 2};
  p.shell.onExecuteEx = [](const ShellExecuteRequest&) { return Started(0); };
  EXPECT_TRUE(LauncherUtils::ExecuteCommand(p.Services(), L"/c echo \"x\"", true));
  EXPECT_TRUE(LauncherUtils::ExecuteCommand(p.Services(), L"/c dir", false));
  ASSERT_EQ(p.shell.executed.size(), 2u);
  EXPECT_EQ(p.shell.executed[0].verb, std::optional<std::wstring>(L"runas"));
  EXPECT_EQ(p.shell.executed[1].verb, std::optional<std::wstring>(L"open"));
  for (auto& r : p.shell.executed) {
    EXPECT_EQ(r.file, L"cmd");
    EXPECT_EQ(r.mask, see::NoCloseProcess);
    EXPECT_FALSE(r.directory.has_value());
    EXPECT_EQ(r.show, kSwHide);
  }
  EXPECT_EQ(p.shell.executed[0].parameters, L"/c echo \"x\"");
}

TEST(ProbeDir, StartsAGuidNamedProgramInTheFolderAndNeverFails) {
  FakePlatform p;
  LauncherUtils::ProbeDir(p.Services(), L"\\\\srv01\\zelkora$\\{GUID}.exe");
  ASSERT_EQ(p.shell.executed.size(), 1u);
  const ShellExecuteRequest& r = p.shell.executed[0];
  EXPECT_EQ(r.file, L"\\\\srv01\\zelkora$\\{00000001-0000-4000-8000-000000000001}.exe");
  EXPECT_TRUE(r.mask & see::FlagNoUi);
  EXPECT_EQ(r.directory, std::optional<std::wstring>(L"\\\\srv01\\zelkora$\\"));

  FakePlatform broken;
  broken.system.guidFails = true;
  EXPECT_NO_THROW(LauncherUtils::ProbeDir(broken.Services(), L"C:\\x\\y"));
  broken.shell.onExecuteEx = [](const ShellExecuteRequest&) -> ShellStart {
    throw LauncherError(L"network gone");
  };
  broken.system.guidFails = false;
  EXPECT_NO_THROW(LauncherUtils::ProbeDir(broken.Services(), L"C:\\x\\y"));
}

TEST(CheckFile, ProbesOneLevelAboveAndAnswersForFilesOnly) {
  FakePlatform p;
  p.files.AddFile(L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe", "MZ");
  p.files.AddDir(L"\\\\srv01\\zelkora$\\Folder.exe");
  EXPECT_TRUE(LauncherUtils::CheckFile(p.Services(), L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe"));
  ASSERT_EQ(p.shell.executed.size(), 1u);
  EXPECT_EQ(GetDir(p.shell.executed[0].file), L"\\\\srv01\\zelkora$\\");
  EXPECT_FALSE(LauncherUtils::CheckFile(p.Services(), L"\\\\srv01\\zelkora$\\Folder.exe"));
  EXPECT_FALSE(
      LauncherUtils::CheckFile(p.Services(), L"\\\\srv01\\zelkora$\\Velmont\\Missing.exe"));
  // A file directly in the share root probes the server level.
  LauncherUtils::CheckFile(p.Services(), L"\\\\srv01\\zelkora$\\a.exe");
  EXPECT_EQ(GetDir(p.shell.executed.back().file), L"\\\\srv01\\");
}

TEST(ShareCache, KeepsWhatWasFoundUntilTheNextRunAndAsksAgainAfterANo) {
  // One run's cache, on fakes of its own.
  FakeRun fresh;
  FakePlatform& p = fresh.p;
  ShareCache& cache = fresh.run.cache;
  const std::wstring app = L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe";
  EXPECT_FALSE(cache.CheckFile(app));
  p.files.AddFile(app, "MZ");
  EXPECT_TRUE(cache.CheckFile(app));
  p.files.DeleteFile(app);
  EXPECT_TRUE(cache.FileExists(L"\\\\SRV01\\Zelkora$\\velmont\\VELMONT.EXE"));
  EXPECT_EQ(p.files.AttributeQueries(app), 2);
  // One probe of the share's root, whatever asked for it; another folder gets its own.
  cache.ProbeDir(L"\\\\srv01\\ZELKORA$\\{GUID}.exe");
  EXPECT_EQ(p.shell.executed.size(), 1u);
  cache.ProbeDir(L"\\\\srv01\\zelkora$\\Common\\x.msi");
  EXPECT_EQ(p.shell.executed.size(), 2u);
  // A new run probes again and sees the file gone.
  cache.Forget();
  EXPECT_FALSE(cache.CheckFile(app));
  EXPECT_EQ(p.shell.executed.size(), 3u);
}

TEST(PathOperations, TakePathsApartWithTheirFallbacks) {
  struct Case {
    const wchar_t *path, *dir, *file, *server;
  } cases[] = {
      {L"C:\\dir\\file.exe", L"C:\\dir\\", L"file.exe", L""},
      {L"C:\\dir\\sub\\", L"C:\\dir\\", L"sub", L""},
      {L"\\\\srv01\\zelkora$", L"\\\\srv01\\", L"zelkora$", L"srv01"},
      {L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe", L"\\\\srv01\\zelkora$\\Velmont\\",
       L"Velmont.exe", L"srv01"},
      {L"file.exe", L"", L"file.exe", L""},
      {L"C:\\", L"", L"C:\\", L""},
      {L"\\\\\\srv\\x", L"\\\\\\srv\\", L"x", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetDir(c.path), c.dir);
    EXPECT_EQ(GetFile(c.path), c.file);
    EXPECT_EQ(GetShareServerName(c.path), c.server);
  }
}

TEST(Is64Bit, FollowsTheWow64AnswerAndRaisesWhenTheCallFails) {
  FakePlatform p;
  p.system.wow64 = Wow64State::Yes;
  EXPECT_TRUE(LauncherUtils::Is64Bit(p.system));
  p.system.wow64 = Wow64State::No;
  EXPECT_FALSE(LauncherUtils::Is64Bit(p.system));
  p.system.wow64 = Wow64State::NoFunction;
  EXPECT_FALSE(LauncherUtils::Is64Bit(p.system));
  p.system.wow64 = Wow64State::Failed;
  try {
    LauncherUtils::Is64Bit(p.system);
    ADD_FAILURE();
  } catch (const LauncherError& e) {
    EXPECT_EQ(e.Message(), L"Bad process handle");
  }
}

TEST(MessageDialog, KindsButtonsAndDefaults) {
  struct Case {
    MsgDlgType type;
    MsgDlgButtons buttons;
    // the dialog's make-up
    const wchar_t* title;
    DialogIcon icon, taskIcon;
    std::vector<std::pair<std::wstring, int>> shown;  // captions and results, in order
    int defaultResult;
  };
  // clang-format off
  const Case cases[] = {
      MakeRow<Case>([](auto& c) {
        c.type = MsgDlgType::Warning; c.buttons = {MsgDlgBtn::OK};
        c.title = L"Warning"; c.icon = c.taskIcon = DialogIcon::Warning;
        c.shown = {{L"OK", 1}}; c.defaultResult = 1;
      }),
      MakeRow<Case>([](auto& c) {
        c.type = MsgDlgType::Confirmation; c.buttons = {MsgDlgBtn::No, MsgDlgBtn::Yes};
        c.title = L"Confirm"; c.icon = DialogIcon::Question; c.taskIcon = DialogIcon::Information;
        c.shown = {{L"&Yes", 6}, {L"&No", 7}}; c.defaultResult = 6;
      }),
      MakeRow<Case>([](auto& c) {
        c.type = MsgDlgType::Error; c.buttons = {MsgDlgBtn::OK, MsgDlgBtn::Yes};
        c.title = L"Error"; c.icon = c.taskIcon = DialogIcon::Error;
        c.shown = {{L"&Yes", 6}, {L"OK", 1}}; c.defaultResult = 1;
      }),
      MakeRow<Case>([](auto& c) {
        c.type = MsgDlgType::Information;
        c.buttons = {MsgDlgBtn::Abort, MsgDlgBtn::Retry, MsgDlgBtn::Ignore};
        c.title = L"Information"; c.icon = c.taskIcon = DialogIcon::Information;
        c.shown = {{L"&Abort", 3}, {L"&Retry", 4}, {L"&Ignore", 5}}; c.defaultResult = 4;
      }),
      MakeRow<Case>([](auto& c) {
        c.type = MsgDlgType::Custom;
        c.buttons = {MsgDlgBtn::Help, MsgDlgBtn::Close, MsgDlgBtn::All, MsgDlgBtn::NoToAll,
                     MsgDlgBtn::YesToAll, MsgDlgBtn::Cancel};
        c.title = L"Zelkora Application Launcher"; c.icon = c.taskIcon = DialogIcon::None;
        c.shown = {{L"Cancel", 2}, {L"&All", 12}, {L"N&o to All", 13}, {L"Yes to &All", 14},
                   {L"&Close", 8}};
        c.defaultResult = 4;
      }),
  };
  // clang-format on
  for (const Case& c : cases) {
    MessageDialogSpec s = BuildMessageDialog(L"text", c.type, c.buttons);
    EXPECT_EQ(s.title, c.title);
    EXPECT_EQ(s.text, L"text");
    EXPECT_EQ(s.icon, c.icon);
    EXPECT_EQ(s.taskDialogIcon, c.taskIcon);
    std::vector<std::pair<std::wstring, int>> shown;
    for (auto& b : s.buttons) shown.push_back({b.caption, b.result});
    EXPECT_EQ(shown, c.shown) << c.title;
    EXPECT_EQ(s.defaultResult, c.defaultResult) << c.title;
  }
}

TEST(MessageDialog, SayLowersTopMostWindowsAndReturnsTheAnswer) {
  FakePlatform p;
  p.ui.answers = {kModalNo};
  EXPECT_EQ(
      LauncherUtils::Say(p.ui, L"q", MsgDlgType::Confirmation, {MsgDlgBtn::Yes, MsgDlgBtn::No}),
      kModalNo);
  EXPECT_TRUE(p.ui.dialogs[0].content.lowerTopmost);
  p.ui.answers = {kModalYes};
  EXPECT_EQ(MessageDlg(p.ui, L"q", MsgDlgType::Confirmation, {MsgDlgBtn::Yes, MsgDlgBtn::No}),
            kModalYes);
  EXPECT_FALSE(p.ui.dialogs[1].content.lowerTopmost);
}

TEST(InstallOrRun, ChoosesByExtension) {
  FakePlatform p;
  p.system.systemDirectory = L"C:\\Windows\\system32";
  p.shell.onExecuteEx = [](const ShellExecuteRequest&) { return Started(0); };
  Installer::InstallOrRun(p.Services(), L"C:\\Temp\\tmp1.MSI", true, L"");
  Installer::InstallOrRun(p.Services(), L"C:\\Temp\\tmp2.Exe", true, L"");
  Installer::InstallOrRun(p.Services(), L"C:\\Temp\\tmp3.zip", false, L"");
  Installer::InstallOrRun(p.Services(), L"C:\\Temp\\tmp4.", false, L"C:\\x");
  Installer::InstallOrRun(p.Services(), L"C:\\Temp\\tmp5.txt", false, L"C:\\x");
  ASSERT_EQ(p.shell.executed.size(), 2u);
  const auto& msi = p.shell.executed[0];
  EXPECT_EQ(msi.file, kMsiexec);
  EXPECT_EQ(msi.parameters, L"/passive /i \"C:\\Temp\\tmp1.MSI\"");
  EXPECT_FALSE(msi.verb.has_value());  // packages are never elevated by the launcher
  const auto& exe = p.shell.executed[1];
  EXPECT_EQ(exe.file, L"C:\\Temp\\tmp2.Exe");
  EXPECT_EQ(exe.verb, std::optional<std::wstring>(L"runas"));
  EXPECT_EQ(exe.parameters, L"");
}

TEST(FileExtensions, LastDotOfTheLastComponent) {
  EXPECT_EQ(ExtractFileExt(L"C:\\a.b\\name"), L"");
  EXPECT_EQ(ExtractFileExt(L"C:\\a\\Braille Fonts.msi"), L".msi");
  EXPECT_EQ(ExtractFileExt(L"x.tar.gz"), L".gz");
  EXPECT_EQ(ChangeFileExt(L"C:\\T\\tmpA1.tmp", L".msi"), L"C:\\T\\tmpA1.msi");
  EXPECT_EQ(ChangeFileExt(L"C:\\a.b\\tmp", L".exe"), L"C:\\a.b\\tmp.exe");
  EXPECT_EQ(ChangeFileExt(L"C:\\T\\tmpA1.tmp", L""), L"C:\\T\\tmpA1.");
}

}  // namespace
}  // namespace zl
