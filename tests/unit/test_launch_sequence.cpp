// The launch sequence: statuses and progress, the report of findings (texts byte for byte,
// dialogs, offers), the application's parameters and the end of the program.

#include <gtest/gtest.h>

#include <algorithm>

#include "model/LauncherOptions.h"
#include "launcher/LaunchSequence.h"
#include "platform/fake/FakePlatform.h"
#include "model/LauncherUtils.h"
#include "model/Trace.h"
#include "steps/LaunchSteps.h"
#include "utils/Paths.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

using namespace test;

struct RecordingView : IMainView {
  std::vector<std::pair<std::wstring, double>> shown;  // status text with the progress before it
  double progress = -1;
  void SetProgress(double v) override { progress = v; }
  void SetStatusText(const std::wstring& t) override { shown.push_back({t, progress}); }
};

const std::wstring kCrLf2 = L"\r\n\r\n";
const std::wstring kHeader = L"Additionally, the following warnings were thrown:";

struct LaunchTest : FakeRunTest {
  RecordingView view;
  LaunchSequence form{view, run};
  void SetUp() override { form.OnCreate(); }  // as the window does when it is made
  void Add(const wchar_t* msg, ErrorSeverity s) { AddFinding(form.Errors(), msg, s); }
  void PlainAdd(const wchar_t* msg, ErrorSeverity s) {
    form.Errors().Add(std::make_shared<LaunchError>(msg, s));
  }
};

TEST_F(LaunchTest, ARunWithoutFindingsShowsSixStatusesStartsTheAppAndEnds) {
  run.options.SetAppLocation(kVelmontOnShare);
  run.options.SetOrvexAddress(L"srv01");
  p.files.AddFile(kVelmontOnShare, "MZ");
  // Nothing for step 5 to offer or warn about.
  run.options.SetSkipCR(true);
  run.options.SetSkipPC(true);
  p.files.AddFile(kBrailleFont, "font");
  form.OnActivate();

  std::vector<std::pair<std::wstring, double>> expected = {
      {L"", -1},
      {L"Checking Local PC", 100.0 / 6},
      {L"Locating Orvex", 200.0 / 6},
      {L"Checking Network", 50},
      {L"Locating Application", 400.0 / 6},
      {L"Checking App Settings", 500.0 / 6},
      {L"Launching App", 100},
  };
  ASSERT_EQ(view.shown.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(view.shown[i].first, expected[i].first);
    EXPECT_NEAR(view.shown[i].second, expected[i].second, 1e-9) << i;
  }
  EXPECT_TRUE(p.ui.dialogs.empty());
  EXPECT_TRUE(p.ui.boxes.empty());
  ASSERT_EQ(p.shell.opened.size(), 1u);
  const auto& call = p.shell.opened[0];
  EXPECT_EQ(call.verb, L"open");
  EXPECT_EQ(call.file, kVelmontOnShare);
  EXPECT_EQ(call.parameters, L" -OrvexAddress=srv01");
  EXPECT_EQ(call.directory, L"\\\\srv01\\zelkora$\\Velmont\\");
  EXPECT_EQ(call.show, kSwShowNormal);
  // The window stays 4.5 s after the start; the program ends from the main thread.
  EXPECT_EQ(p.system.sleeps, std::vector<uint32_t>{4500});
  EXPECT_EQ(p.ui.terminateOnMain, 1);
  EXPECT_EQ(p.ui.log.back(), L"terminate:main");
}

TEST_F(LaunchTest, ARunProbesTheShareAndLooksUpTheApplicationOnceTheNextRunAgain) {
  run.options.SetAppLocation(kVelmontOnShare);
  run.options.SetSkipCR(true);
  run.options.SetSkipPC(true);
  p.files.AddFile(kVelmontOnShare, "MZ");
  p.files.AddFile(kBrailleFont, "font");
  auto probes = [&] {
    return std::count_if(p.shell.executed.begin(), p.shell.executed.end(),
                         [](const ShellExecuteRequest& r) { return Contains(r.file, L"{"); });
  };
  form.OnActivate();
  EXPECT_EQ(probes(), 1);
  EXPECT_EQ(p.files.AttributeQueries(kVelmontOnShare), 1);
  ASSERT_EQ(p.shell.opened.size(), 1u);

  // The same run again: its cache forgets what the first launch found on the share.
  LaunchSequence next{view, run};
  next.OnCreate();
  next.OnActivate();
  EXPECT_EQ(probes(), 2);
  EXPECT_EQ(p.files.AttributeQueries(kVelmontOnShare), 2);
  EXPECT_EQ(p.shell.opened.size(), 2u);
}

TEST_F(LaunchTest, ASecondActivationStartsNoSecondWorker) {
  form.OnActivate();
  form.OnActivate();
  EXPECT_EQ(p.ui.threadsStarted, 1);
}

TEST_F(LaunchTest, ApplicationParametersFollowTheOptions) {
  struct Case {
    const wchar_t* app;
    int32_t offset;
    const wchar_t* address;
    const wchar_t* extra;
    const wchar_t* params;
  } cases[] = {
      {L"\\\\srv\\zelkora$\\Velmont\\Velmont.exe", 2, L"srv", L"-x y",
       L" -PortOffset=2 -OrvexAddress=srv -x y"},
      {L"\\\\srv\\zelkora$\\Velmont\\Velmont.exe", -3, L"", L"", L" -PortOffset=-3"},
      {L"\\\\srv\\zelkora$\\Velmont\\Velmont.exe", 0, L"", L"", L""},
      {L"", 4, L"srv", L"-a b c", L" -a b c"},  // no location: only the launcher's own arguments
  };
  for (const Case& c : cases) {
    run.options.SetAppLocation(c.app);
    run.options.SetPortOffset(c.offset);
    run.options.SetOrvexAddress(c.address);
    run.options.SetExtraOptions(c.extra);
    EXPECT_EQ(BuildApplicationParameters(run.options), c.params);
  }
}

TEST_F(LaunchTest, WorkingFolderIsTheFolderWithItsFinalBackslash) {
  EXPECT_EQ(ExtractFilePath(L"\\\\srv\\zelkora$\\Velmont\\Velmont.exe"),
            L"\\\\srv\\zelkora$\\Velmont\\");
  EXPECT_EQ(ExtractFilePath(L"Z:Velmont.exe"), L"Z:");
  EXPECT_EQ(ExtractFilePath(L"Velmont.exe"), L"");
}

TEST_F(LaunchTest, WarningsWaitForTheLastReportAndShowOnceTogether) {
  Add(L"W1", ErrorSeverity::Warning);
  EXPECT_FALSE(form.ReportErrors(false));
  EXPECT_TRUE(p.ui.dialogs.empty());
  PlainAdd(L"W5", ErrorSeverity::Warning);
  EXPECT_FALSE(form.ReportErrors(true));
  ASSERT_EQ(p.ui.dialogs.size(), 1u);
  const MessageDialogSpec& d = p.ui.dialogs[0].content;
  EXPECT_EQ(d.text, L"W1" + kCrLf2 + L"W5");
  EXPECT_EQ(d.title, L"Warning");
  ASSERT_EQ(d.buttons.size(), 1u);
  EXPECT_EQ(d.buttons[0].caption, L"OK");
  EXPECT_TRUE(d.lowerTopmost);  // through Say
  EXPECT_TRUE(p.ui.boxes.empty());
}

TEST_F(LaunchTest, FatalReportTexts) {
  struct Case {
    std::vector<std::pair<const wchar_t*, ErrorSeverity>> findings;
    std::wstring text;
  } cases[] = {
      {{{L"C", ErrorSeverity::Critical}}, L"C"},
      {{{L"W", ErrorSeverity::Warning}, {L"C", ErrorSeverity::Critical}},
       L"C" + kCrLf2 + kHeader + L"\r\n" + L"W" + kCrLf2},
      {{{L"C", ErrorSeverity::Critical}, {L"W", ErrorSeverity::Warning}},
       L"C" + kCrLf2 + kHeader + L"\r\n" + kCrLf2 + L"W"},
      {{{L"C1", ErrorSeverity::Critical}, {L"C2", ErrorSeverity::Critical}},
       L"C2" + kCrLf2 + kHeader + L"\r\n" + kCrLf2},
  };
  for (const Case& c : cases) {
    FakeRun fresh;
    RecordingView v;
    LaunchSequence f(v, fresh.run);
    for (auto& [msg, sev] : c.findings) AddFinding(f.Errors(), msg, sev);
    EXPECT_TRUE(f.ReportErrors(false));
    ASSERT_EQ(fresh.p.ui.boxes.size(), 1u);
    EXPECT_EQ(fresh.p.ui.boxes[0].text, c.text);
    EXPECT_EQ(fresh.p.ui.boxes[0].caption, L"Attention");
    EXPECT_EQ(fresh.p.ui.boxes[0].flags, mb::Ok | mb::IconWarning | mb::SetForeground);
    EXPECT_TRUE(fresh.p.ui.dialogs.empty());
    EXPECT_EQ(fresh.p.ui.terminateOnMain, 1);  // asked on the main thread by this test
  }
}

TEST_F(LaunchTest, OffersAreAskedInOrderOnceAndRemovedWhateverTheAnswer) {
  PlainAdd(L"braille?", ErrorSeverity::Braille);
  PlainAdd(L"W", ErrorSeverity::Warning);
  PlainAdd(L"barcode?", ErrorSeverity::Barcode);
  PlainAdd(L"crystal?", ErrorSeverity::Crystal);
  // Nothing serves the downloads: the braille Yes is followed by the error that names the file
  // (no application is set, so the Crystal row has no file to fetch).
  p.ui.answers = {kModalYes, kModalNo, kModalYes, kModalOk};
  EXPECT_FALSE(form.ReportErrors(false));
  std::vector<std::wstring> titles;
  std::vector<MessageDialogSpec> offers;
  for (auto& d : p.ui.dialogs) {
    titles.push_back(d.content.title);
    if (d.content.title == L"Confirm") offers.push_back(d.content);
  }
  EXPECT_EQ(titles, (std::vector<std::wstring>{L"Confirm", L"Confirm", L"Confirm", L"Error"}));
  ASSERT_EQ(offers.size(), 3u);
  EXPECT_EQ(offers[0].text, L"crystal?");
  EXPECT_EQ(offers[1].text, L"barcode?");
  EXPECT_EQ(offers[2].text, L"braille?");
  for (auto& content : offers) {
    EXPECT_EQ(content.title, L"Confirm");
    ASSERT_EQ(content.buttons.size(), 2u);
    EXPECT_EQ(content.buttons[0].caption, L"&Yes");
    EXPECT_EQ(content.buttons[1].caption, L"&No");
    EXPECT_FALSE(content.lowerTopmost);  // shown directly, not through Say
  }
  ASSERT_EQ(form.Errors().Count(), 1);
  EXPECT_EQ(form.Errors().Items(0)->Message(), L"W");
  // The warning is shown later, without the offers.
  EXPECT_FALSE(form.ReportErrors(true));
  EXPECT_EQ(p.ui.dialogs.back().content.text, L"W");
}

TEST_F(LaunchTest, TwoOffersOfOneKindAskTheLaterFirstAndTheEarlierAtTheNextReport) {
  PlainAdd(L"first", ErrorSeverity::Crystal);
  PlainAdd(L"second", ErrorSeverity::Crystal);
  form.ReportErrors(false);
  ASSERT_EQ(p.ui.dialogs.size(), 1u);
  EXPECT_EQ(p.ui.dialogs[0].content.text, L"second");
  ASSERT_EQ(form.Errors().Count(), 1);
  PlainAdd(L"W", ErrorSeverity::Warning);
  form.ReportErrors(true);
  ASSERT_EQ(p.ui.dialogs.size(), 3u);
  // The remaining offer adds only a separator to the warning text; it is asked after it.
  EXPECT_EQ(p.ui.dialogs[1].content.text, kCrLf2 + L"W");
  EXPECT_EQ(p.ui.dialogs[2].content.text, L"first");
}

TEST_F(LaunchTest, OffersAreStillAskedAfterTheAttentionBox) {
  Add(L"C", ErrorSeverity::Critical);
  PlainAdd(L"crystal?", ErrorSeverity::Crystal);
  EXPECT_TRUE(form.ReportErrors(false));
  ASSERT_EQ(p.ui.log.size(), 3u);
  EXPECT_EQ(p.ui.log[0], L"box:Attention");
  EXPECT_EQ(p.ui.log[1], L"terminate:main");
  EXPECT_EQ(p.ui.log[2], L"dialog:Confirm");
}

TEST_F(LaunchTest, AnErrorEscapingAStepEndsTheRunSilently) {
  // A routine on the main thread that raises: the error comes back to the worker, leaves Launch
  // and the program ends without a message.
  FakeRun fresh;
  RecordingView v;
  LaunchSequence f(v, fresh.run);
  BGWorker* worker = BGWorker::CreateSuspended(fresh.p.ui);
  bool terminated = false;
  worker->SetThreadEntry([&] {
    worker->UpdateUI([] { throw LauncherError(L"disk full"); });
    ADD_FAILURE() << "the error must come back to the worker";
  });
  worker->SetOnTerminate([&](BGWorker*) { terminated = fresh.p.ui.IsMainThread(); });
  worker->Start();
  EXPECT_TRUE(terminated);
  EXPECT_TRUE(fresh.p.ui.boxes.empty());
  EXPECT_TRUE(fresh.p.ui.dialogs.empty());
}

TEST(Trace, MessageLineBreaksBecomeSlashes) {
  EXPECT_EQ(Trace::Format(L"a\r\n\r\nb\nc\rd"), L"ZelkoraLauncher: a / b / c / d");
  EXPECT_EQ(Trace::Format(L""), L"ZelkoraLauncher: ");
}

// Counts the appends the trace asks for, whether they succeed or not.
struct CountingFiles : FakeFileSystem {
  int appends = 0;
  bool AppendToFile(const std::wstring& path, const std::string& bytes) override {
    ++appends;
    return FakeFileSystem::AppendToFile(path, bytes);
  }
};

TEST(Trace, AfterAFailedWriteTheFileIsLeftAloneUntilANewOneIsSet) {
  fake::FakeSystem system;
  CountingFiles files;
  Trace::SetOutput(&system, &files);
  Trace::SetLogFile(L"\\\\gone\\logs$\\zl.log");
  Trace::Line(L"one");
  Trace::Line(L"two");
  EXPECT_EQ(files.appends, 1);
  EXPECT_EQ(system.debugOutput.size(), 2u);  // the debug output goes on

  Trace::SetLogFile(L"C:\\Temp\\zl.log");
  Trace::Line(L"three");
  EXPECT_EQ(files.appends, 2);
  EXPECT_EQ(files.ReadFileText(L"C:\\Temp\\zl.log"), "ZelkoraLauncher: three\r\n");
  Trace::SetOutput(nullptr, nullptr);
  Trace::SetLogFile(L"");
}

TEST_F(LaunchTest, TheTraceOfARunGoesToTheDebugOutputAndTheAdminsLogFile) {
  // The admin's file from HKLM with a variable in it; the user's value of another type would
  // end the program for any other option, here it is ignored.
  p.system.environment[L"TEMP"] = L"C:\\Temp";
  p.registry.Set(RegRoot::LocalMachine, kLauncherKey, L"LogFile",
                 RegValue{RegKind::ExpandString, L"%TEMP%\\zl.log", 0}, RegView::Reg64);
  p.registry.Set(RegRoot::CurrentUser, kLauncherKey, L"LogFile", RegValue{RegKind::Dword, L"", 1},
                 RegView::Reg64);
  p.registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"AppLocation", kVelmontOnShare,
                       RegView::Reg64);
  run.options.Load(p.registry, p.system, p.system.CommandLine());
  EXPECT_EQ(run.options.LogFile(), L"C:\\Temp\\zl.log");
  run.options.SetSkipCR(true);
  run.options.SetSkipPC(true);
  p.files.AddFile(kVelmontOnShare, "MZ");
  p.files.AddFile(kBrailleFont, "font");
  form.OnActivate();

  std::wstring debug;
  for (const std::wstring& line : p.system.debugOutput) {
    ASSERT_TRUE(StartsWith(line, L"ZelkoraLauncher: ")) << ToUtf8(line);
    debug += line.substr(0, line.size() - 1) + L"\r\n";  // each ends in "\n"
  }
  EXPECT_EQ(FromUtf8(p.files.ReadFileText(L"C:\\Temp\\zl.log")), debug);
  // Each step with its time, in order, then the start itself.
  size_t at = 0;
  for (const std::wstring& want :
       {std::wstring(L"Options: AppLocation=\"") + kVelmontOnShare,
        std::wstring(L"Step 1: Checking Local PC"), std::wstring(L"Step 1 took "),
        std::wstring(L"Step 2: Locating Orvex"), std::wstring(L"Step 5 took "),
        std::wstring(L"Step 6: Launching App"), std::wstring(L"Step 6 took "),
        L"Starting \"" + kVelmontOnShare +
            L"\" with the parameters \" -OrvexAddress=srv01\" in \"" + kShare + L"\\Velmont\\\""}) {
    at = debug.find(L"ZelkoraLauncher: " + want, at);
    ASSERT_NE(at, std::wstring::npos) << ToUtf8(want) << "\n" << ToUtf8(debug);
  }
}

TEST_F(LaunchTest, AFailingRunIsTracedAndALogThatCannotBeWrittenChangesNothing) {
  p.registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"LogFile", L"C:\\Locked\\zl.log",
                       RegView::Reg64);
  p.files.AddDir(L"C:\\Locked");
  p.files.SetReadOnlyDir(L"C:\\Locked", true);
  p.registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"OrvexAddress", L"srv09",
                       RegView::Reg64);
  run.options.Load(p.registry, p.system, p.system.CommandLine());
  p.network.accepting = {L"srv09:2879"};
  form.OnActivate();

  // The share of srv09 does not exist: the critical finding and the box, one line each.
  ASSERT_EQ(p.ui.boxes.size(), 1u);
  const std::wstring box = Trace::Format(p.ui.boxes[0].text);
  std::wstring debug;
  for (const std::wstring& line : p.system.debugOutput) debug += line;
  EXPECT_NE(debug.find(L"ZelkoraLauncher: Finding, critical: Zelkora Launcher has detected"),
            std::wstring::npos)
      << ToUtf8(debug);
  EXPECT_NE(debug.find(L"ZelkoraLauncher: Stopped: the Attention box says: " +
                       box.substr(std::wstring(Trace::kPrefix).size()) + L"\n"),
            std::wstring::npos)
      << ToUtf8(debug);
  EXPECT_FALSE(p.files.Exists(L"C:\\Locked\\zl.log"));
}

}  // namespace
}  // namespace zl
