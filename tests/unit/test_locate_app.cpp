// The application location dialog: the information window's texts and link, the file dialog,
// the name test of the pick, and the hand-over of both windows to the main thread.

#include <gtest/gtest.h>

#include "discovery/LocateProgramForm.h"
#include "discovery/OrvexLocator.h"
#include "model/BGWorker.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "model/LauncherUtils.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakePlatform;

const std::wstring kRefused = L"Selected application must be Velmont.EXE or Quenda.EXE";
const std::wstring kHelp = L"https://www.zelkora.example/support/launcher";

struct LocateAppTest : test::FreshRunTest {};

TEST_F(LocateAppTest, ThePickIsTestedAgainstTheApplicationNames) {
  struct Case {
    const char* name;
    std::deque<bool> form;
    std::deque<std::optional<std::wstring>> file;
    std::wstring result;
    size_t fileDialogs;
    bool refused;
  };
  const std::wstring srv = L"\\\\srv01\\Zelkora$\\Velmont\\";
  const std::vector<Case> cases = {
      {"close box: no file dialog", {false}, {srv + L"Velmont.exe"}, L"", 0, false},
      {"Next, then Cancel", {true}, {std::nullopt}, L"", 1, false},
      {"upper case kept", {true}, {srv + L"VELMONT.EXE"}, srv + L"VELMONT.EXE", 1, false},
      {"Quenda", {true}, {L"C:\\Q\\quenda.exe"}, L"C:\\Q\\quenda.exe", 1, false},
      {"only the end counts", {true}, {srv + L"OldVelmont.exe"}, srv + L"OldVelmont.exe", 1, false},
      {"backup copy", {true}, {srv + L"Velmont.exe.bak"}, L"", 1, true},
      {"another program", {true}, {srv + L"Setup.exe"}, L"", 1, true},
      // The server part goes onto the command line and into the zone: only a plain name.
      {"server '.'", {true}, {L"\\\\.\\zelkora$\\Velmont\\Velmont.exe"}, L"", 1, true},
      {"server '-x'", {true}, {L"\\\\-x\\zelkora$\\Velmont\\Velmont.exe"}, L"", 1, true},
      {"blank in the server", {true}, {L"\\\\my srv\\z$\\Velmont.exe"}, L"", 1, true},
      {"drive letter",
       {true},
       {L"S:\\Velmont\\Velmont.exe"},
       L"S:\\Velmont\\Velmont.exe",
       1,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    p->ui.formAnswers = c.form;
    p->ui.fileAnswers = c.file;

    EXPECT_EQ(OrvexLocator::LocateApp(run->Ports()), c.result);
    EXPECT_EQ(p->ui.forms.size(), 1u);
    EXPECT_EQ(p->ui.fileDialogs.size(), c.fileDialogs);
    ASSERT_EQ(p->ui.dialogs.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      // The plain message dialog, not Say's (which lowers the top-most windows).
      auto expected = BuildMessageDialog(kRefused, MsgDlgType::Error, {MsgDlgBtn::OK});
      const auto& shown = p->ui.dialogs[0].content;
      EXPECT_EQ(shown.text, kRefused);
      EXPECT_EQ(shown.title, expected.title);
      EXPECT_EQ(shown.icon, DialogIcon::Error);
      ASSERT_EQ(shown.buttons.size(), 1u);
      EXPECT_EQ(shown.buttons[0].result, kModalOk);
      EXPECT_FALSE(shown.lowerTopmost);
    }
  }
}

TEST_F(LocateAppTest, WhatTheWindowsShow) {
  p->ui.formAnswers = {true};
  OrvexLocator::LocateApp(run->Ports());
  ASSERT_EQ(p->ui.forms.size(), 1u);
  const LocateProgramFormContent& form = p->ui.forms[0];
  EXPECT_EQ(form.caption, L"Information");
  const std::vector<std::wstring> labels = {
      L"Please locate your Velmont or Quenda executable in the following step to continue "
      L"launching.",
      L"Here is an example of a default location where it might be located:",
      L"Example for Quenda: \\\\servername\\Zelkora$\\Quenda\\Quenda.exe",
      L"Example for Velmont: \\\\servername\\Zelkora$\\Velmont\\Velmont.exe",
      L"For more information on the Zelkora Launcher, please visit this link.",
      L"Click Next below to continue.",
  };
  EXPECT_EQ(form.labels, labels);
  EXPECT_EQ(form.link, kHelp);
  EXPECT_EQ(form.nextCaption, L"Next");

  ASSERT_EQ(p->ui.fileDialogs.size(), 1u);
  const OpenFileDialogRequest& file = p->ui.fileDialogs[0];
  EXPECT_EQ(file.title, L"Select your Velmont or Quenda executable");
  EXPECT_EQ(file.filterName, L"Executable Files (*.exe)");
  EXPECT_EQ(file.filterPattern, L"*.exe");
  EXPECT_EQ(file.initialDir, L"C:\\");
}

TEST_F(LocateAppTest, TheLinkOpensTheHelpPageAndTheWindowStays) {
  p->ui.onForm = [](const LocateProgramFormContent& content) {
    content.onLinkClick();
    content.onLinkClick();
  };
  p->ui.formAnswers = {true};
  p->ui.fileAnswers = {L"C:\\Velmont.exe"};
  EXPECT_EQ(OrvexLocator::LocateApp(run->Ports()), L"C:\\Velmont.exe");
  ASSERT_EQ(p->shell.opened.size(), 2u);
  for (const auto& call : p->shell.opened) {
    EXPECT_EQ(call.verb, L"OPEN");
    EXPECT_EQ(call.file, kHelp);
    EXPECT_EQ(call.parameters, L"");
    EXPECT_EQ(call.directory, L"");
    EXPECT_EQ(call.show, kSwShowNormal);
  }
}

TEST_F(LocateAppTest, EachCallShowsAFreshWindow) {
  // Next in the first window must not carry over to the second, closed by its close box.
  p->ui.formAnswers = {true, false};
  EXPECT_EQ(OrvexLocator::LocateApp(run->Ports()), L"");
  EXPECT_EQ(OrvexLocator::LocateApp(run->Ports()), L"");
  EXPECT_EQ(p->ui.forms.size(), 2u);
  EXPECT_EQ(p->ui.fileDialogs.size(), 1u);
}

TEST_F(LocateAppTest, FromTheWorkerTheWindowsRunOnTheMainThread) {
  struct Case {
    std::wstring pick, result;
  };
  for (const Case& c : {Case{L"C:\\Velmont.exe", L"C:\\Velmont.exe"}, Case{L"C:\\x.exe", L""}}) {
    Fresh();
    p->ui.formAnswers = {true};
    p->ui.fileAnswers = {c.pick};
    std::optional<std::wstring> result;
    bool entryOnMain = true;
    BGWorker* worker = BGWorker::CreateSuspended(p->ui);
    worker->SetThreadEntry([&] {
      entryOnMain = p->ui.IsMainThread();
      result = OrvexLocator::LocateApp(run->Ports());
    });
    worker->Start();

    EXPECT_FALSE(entryOnMain);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(p->ui.forms.size(), 1u);
    EXPECT_EQ(p->ui.fileDialogs.size(), 1u);
    EXPECT_TRUE(p->ui.formOnMainThread);
    // The refusal comes after the hand-over, from the calling thread.
    for (const auto& d : p->ui.dialogs) EXPECT_FALSE(d.onMainThread);
    EXPECT_EQ(p->ui.dialogs.size(), c.result.empty() ? 1u : 0u);
  }
}

}  // namespace
}  // namespace zl
