// The install flow: a copy from the share's Common folder, or a download in the installer window,
// then the hand-off by file type.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "prerequisites/InstallerForm.h"
#include "model/LauncherUtils.h"
#include "utils/Text.h"
#include "ZipBuilder.h"
#include "utils/Paths.h"
#include "prerequisites/Installer.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakeHttp;
using fake::FakeInstallerWindow;
using fake::FakePlatform;
using fake::FakeProcess;
using namespace test;

const std::wstring kTemp = L"C:\\Temp\\";
// The installer's folder the fake's random generator names first.
const std::wstring kFolder = kTemp + L"zlefcdab8967452301\\";

// What a started installer found: its request and the bytes of the file it was given.
struct Started {
  ShellExecuteRequest request;
  std::wstring path;
  std::string bytes;  // "<missing>" when the file was not there
};

// The file a request runs: the quoted package for msiexec, the program itself otherwise.
std::wstring RunPath(const ShellExecuteRequest& r) {
  if (r.file != kMsiexec) return r.file;
  size_t open = r.parameters.find(L'"');
  size_t close = r.parameters.rfind(L'"');
  return open == close ? std::wstring() : r.parameters.substr(open + 1, close - open - 1);
}

std::vector<std::wstring> TempFiles(FakePlatform& p) {
  std::vector<std::wstring> names;
  p.files.ListDirectory(kTemp, [&](const DirEntry& e) {
    names.push_back(e.name);
    return true;
  });
  return names;
}

class InstallFlow : public FakeRunTest {
 protected:
  void SetUp() override {
    p.shell.onExecuteEx = [this](const ShellExecuteRequest& r) {
      std::wstring path = RunPath(r);
      runs.push_back({r, path, p.files.Exists(path) ? p.files.ReadFileText(path) : "<missing>"});
      return ShellStart{true, std::make_unique<FakeProcess>(0)};
    };
  }

 public:
  void Serve(const std::wstring& url, const std::string& body, int status = 200) {
    FakeHttp::Reply reply;
    reply.body = body;
    reply.status = status;
    p.http.replies[url] = reply;
  }

  std::vector<Started> runs;
};

TEST_F(InstallFlow, ACopyInTheCommonFolderIsInstalledWithoutDownload) {
  run.options.SetShareLocation(kShare);
  p.files.AddFile(kShare + L"\\Common\\Braille Fonts.msi", "package from the share");
  Serve(kBrailleUrl, "package from the server");

  Installer::Install(run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false, L"");

  EXPECT_TRUE(p.ui.installerWindows.empty());
  EXPECT_TRUE(p.http.requested.empty());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].request.file, kMsiexec);
  EXPECT_EQ(runs[0].request.parameters, L"/passive /i \"" + runs[0].path + L"\"");
  // In a folder of its own, which is msiexec's working folder too.
  EXPECT_EQ(runs[0].path, kFolder + L"tmp0001.msi");
  EXPECT_EQ(runs[0].request.directory, kFolder);
  EXPECT_EQ(runs[0].bytes, "package from the share");
  // Neither the copy, the placeholder naming made, nor the folder is left behind.
  EXPECT_TRUE(TempFiles(p).empty());
  EXPECT_TRUE(p.files.Exists(kShare + L"\\Common\\Braille Fonts.msi"));
}

// Between its check and the end of its run, the installer's file is held: another program of the
// user can neither overwrite nor delete it, so what was checked is what msiexec reads. The share's
// file is not what is held or run.
TEST_F(InstallFlow, TheCheckedFileCannotBeSwappedUntilItsRunIsOver) {
  const std::wstring abc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  for (bool fromShare : {true, false}) {
    SCOPED_TRACE(fromShare ? "share copy" : "download");
    FakeRun row;
    row.p.registry.SetString(RegRoot::LocalMachine, kInstallerHashesKey, L"Braille Fonts.msi", abc,
                             RegView::Reg64);
    row.run.options.SetShareLocation(kShare);
    const std::wstring shared = kShare + L"\\Common\\Braille Fonts.msi";
    if (fromShare) row.p.files.AddFile(shared, "abc");
    FakeHttp::Reply reply;
    reply.body = "abc";
    row.p.http.replies[kBrailleUrl] = reply;
    bool overwritten = false, deleted = false, sharedChangeable = false;
    std::string ran;
    row.p.shell.onExecuteEx = [&](const ShellExecuteRequest& r) {
      const std::wstring path = RunPath(r);
      try {
        row.p.files.CreateWrite(path)->Write("evil", 4);
        overwritten = true;
      } catch (const LauncherError&) {
      }
      deleted = row.p.files.DeleteFile(path);
      if (fromShare) sharedChangeable = row.p.files.AppendToFile(shared, "");
      ran = row.p.files.Exists(path) ? row.p.files.ReadFileText(path) : "<missing>";
      return ShellStart{true, std::make_unique<FakeProcess>(2)};
    };

    Installer::Install(row.run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                       L"");

    EXPECT_FALSE(overwritten);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(ran, "abc");
    EXPECT_EQ(row.p.files.Holds(), 1);
    if (fromShare) {
      EXPECT_TRUE(sharedChangeable) << "the share's file is not the one held";
    }
    EXPECT_TRUE(row.p.ui.dialogs.empty());
    // Released once the run is over: the folder and its file are gone.
    EXPECT_TRUE(TempFiles(row.p).empty());
  }
}

TEST_F(InstallFlow, TheAdminsChecksumsDecideWhatRuns) {
  // SHA-256 of "abc", the package's bytes in every row.
  const std::wstring abc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::wstring mismatch =
      L"The file \"Braille Fonts.msi\" does not match the checksum set by your administrator. "
      L"It was not run.";
  const std::wstring missing =
      L"The file \"Braille Fonts.msi\" has no checksum set by your administrator. It was not run.";
  struct Case {
    const char* name;
    bool fromShare;
    std::optional<RegValue> checksum;  // the value under HKLM's InstallerHashes
    bool required;
    std::wstring message;  // empty: the package runs
  };
  const std::vector<Case> cases = {
      {"no policy", true, std::nullopt, false, L""},
      {"matching, upper case, share copy", true, RegValue{RegKind::String, UpperAscii(abc), 0},
       true, L""},
      {"matching download", false, RegValue{RegKind::String, abc, 0}, true, L""},
      {"another file's checksum", true, RegValue{RegKind::String, std::wstring(64, L'0'), 0}, false,
       mismatch},
      {"a download that does not match", false,
       RegValue{RegKind::String, std::wstring(64, L'f'), 0}, false, mismatch},
      {"63 digits", false, RegValue{RegKind::String, abc.substr(1), 0}, false, mismatch},
      {"not hexadecimal", true, RegValue{RegKind::String, L"g" + abc.substr(1), 0}, false,
       mismatch},
      {"not REG_SZ", true, RegValue{RegKind::ExpandString, abc, 0}, false, mismatch},
      {"required but missing, share copy", true, std::nullopt, true, missing},
      {"required but missing, download", false, std::nullopt, true, missing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each row on fakes and options of its own.
    FakeRun row;
    FakePlatform& fresh = row.p;
    runs.clear();
    fresh.shell.onExecuteEx = [&](const ShellExecuteRequest& r) {
      std::wstring path = RunPath(r);
      runs.push_back({r, path, fresh.files.Exists(path) ? fresh.files.ReadFileText(path) : ""});
      return ShellStart{true, std::make_unique<FakeProcess>(0)};
    };
    row.run.options.SetRequireInstallerHashes(c.required);
    row.run.options.SetShareLocation(kShare);
    const std::wstring shared = kShare + L"\\Common\\Braille Fonts.msi";
    if (c.fromShare) fresh.files.AddFile(shared, "abc");
    FakeHttp::Reply reply;
    reply.body = "abc";
    fresh.http.replies[kBrailleUrl] = reply;
    if (c.checksum)
      fresh.registry.Set(RegRoot::LocalMachine, kInstallerHashesKey, L"Braille Fonts.msi",
                         *c.checksum, RegView::Reg64);
    // Only the machine's policy counts.
    fresh.registry.Set(RegRoot::CurrentUser, kInstallerHashesKey, L"Braille Fonts.msi",
                       RegValue{RegKind::String, abc, 0}, RegView::Reg64);

    Installer::Install(row.run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                       L"");

    if (c.message.empty()) {
      ASSERT_EQ(runs.size(), 1u);
      EXPECT_EQ(runs[0].bytes, "abc");
      EXPECT_TRUE(fresh.ui.dialogs.empty());
    } else {
      EXPECT_TRUE(runs.empty());
      ASSERT_EQ(fresh.ui.dialogs.size(), 1u);
      EXPECT_EQ(fresh.ui.dialogs[0].content.text, c.message);
      EXPECT_EQ(fresh.ui.dialogs[0].content.title, L"Error");
      ASSERT_EQ(fresh.ui.dialogs[0].content.buttons.size(), 1u);
      EXPECT_EQ(fresh.ui.dialogs[0].content.buttons[0].result, kModalOk);
      // Nothing of the refused file stays in the temporary folder; the share keeps its copy.
      EXPECT_TRUE(TempFiles(fresh).empty());
    }
    if (c.fromShare) {
      EXPECT_TRUE(fresh.files.Exists(shared));
    }
  }
}

TEST_F(InstallFlow, AnEarlierDownloadOfTheSameNameIsNeverRunInsteadOfTheShareCopy) {
  run.options.SetShareLocation(kShare);
  p.files.AddFile(kShare + L"\\Common\\Braille Fonts.msi", "package from the share");
  // Downloads stay in the temporary folder; the first names the copy would get are taken.
  p.files.AddFile(kTemp + L"tmp0001.msi", "old download 1");
  p.files.AddFile(kTemp + L"tmp0002.msi", "old download 2");

  Installer::Install(run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false, L"");

  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].bytes, "package from the share");
  EXPECT_EQ(p.files.ReadFileText(kTemp + L"tmp0001.msi"), "old download 1");
  EXPECT_EQ(p.files.ReadFileText(kTemp + L"tmp0002.msi"), "old download 2");
}

TEST_F(InstallFlow, DownloadsUnlessTheShareHoldsTheFile) {
  struct Case {
    std::string name;
    std::wstring share;
    std::function<void(FakePlatform&)> arrange;
  } cases[] = {
      {"no share location, a file at the bare Common path", L"",
       [](FakePlatform& p) { p.files.AddFile(L"C:\\Common\\Braille Fonts.msi", "x"); }},
      {"share without the file", kShare, [](FakePlatform& p) { p.files.AddDir(kShare); }},
      {"a folder of that name", kShare,
       [](FakePlatform& p) { p.files.AddDir(kShare + L"\\Common\\Braille Fonts.msi"); }},
      {"share not reachable", kShare, [](FakePlatform&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRun row;
    c.arrange(row.p);
    row.run.options.SetShareLocation(c.share);
    Installer::Install(row.run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                       L"");
    EXPECT_EQ(row.p.ui.installerWindows.size(), 1u);
    EXPECT_EQ(row.p.http.requested, std::vector<std::wstring>{kBrailleUrl});
  }
}

TEST_F(InstallFlow, ADownloadShowsItsProgressThenRunsThePackage) {
  Serve(kBrailleUrl, std::string(10000, 'p'));
  p.http.replies[kBrailleUrl].msPerChunk = 100;
  Installer::Install(run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false, L"");

  ASSERT_EQ(p.ui.installerWindows.size(), 1u);
  const FakeInstallerWindow& w = *p.ui.installerWindows[0];
  // Three chunks of 4096 bytes at most, a tenth of a second apart, then the final report.
  EXPECT_EQ(w.progress, (std::vector<double>{40.96, 81.92, 100, 100}));
  EXPECT_EQ(w.statusTexts, std::vector<std::wstring>(4, L"Downloading Braille Fonts.msi"));
  EXPECT_TRUE(w.hidden);
  EXPECT_TRUE(w.closed);

  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].request.file, kMsiexec);
  EXPECT_EQ(runs[0].request.parameters, L"/passive /i \"" + runs[0].path + L"\"");
  EXPECT_FALSE(runs[0].request.verb.has_value());
  EXPECT_EQ(runs[0].path, kFolder + L"tmp0001.msi");
  EXPECT_EQ(runs[0].request.directory, kFolder);
  EXPECT_EQ(runs[0].bytes, std::string(10000, 'p'));
  // The download's folder goes with it once the package has run.
  EXPECT_TRUE(TempFiles(p).empty());
  // Only that folder was made and removed in the temporary folder; every file was inside it.
  for (const auto& change : p.files.Changes()) {
    const bool folder = change.kind == FakeFileSystem::ChangeKind::CreateDirectory ||
                        change.kind == FakeFileSystem::ChangeKind::RemoveDirectory;
    EXPECT_EQ(GetDir(change.path) == kTemp, folder) << ::testing::PrintToString(change);
  }
}

TEST_F(InstallFlow, AFailedDownloadIsNamedRunsNothingAndLeavesNothing) {
  const std::wstring notRun =
      L"The file \"Braille Fonts.msi\" could not be downloaded. It was not run.\r\n\r\n";
  struct Case {
    std::string name;
    std::function<void(InstallFlow&)> arrange;
    std::wstring reason;  // the paragraph after the first
  } cases[] = {
      {"refused", [](InstallFlow&) {}, L"Connection refused"},
      {"not found", [](InstallFlow& t) { t.Serve(kBrailleUrl, "<html>404</html>", 404); },
       L"HTTP 404"},
      {"connection reset in the body",
       [](InstallFlow& t) {
         t.Serve(kBrailleUrl, std::string(10000, 'p'));
         t.p.http.replies[kBrailleUrl].failAfterBytes = L"The connection was reset.";
       },
       L"The connection was reset."},
      {"temporary drive full",
       [](InstallFlow& t) {
         t.Serve(kBrailleUrl, std::string(10000, 'p'));
         t.p.files.SetSpaceLeft(6000);
       },
       L"There is not enough space on the disk."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    p.http.replies.clear();
    p.ui.installerWindows.clear();
    p.ui.dialogs.clear();
    p.files.SetSpaceLeft(UINT64_MAX);
    runs.clear();
    c.arrange(*this);
    Installer::Install(run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false, L"");
    ASSERT_EQ(p.ui.installerWindows.size(), 1u);
    EXPECT_TRUE(p.ui.installerWindows[0]->hidden);
    EXPECT_TRUE(p.ui.installerWindows[0]->closed);
    ASSERT_FALSE(p.ui.installerWindows[0]->progress.empty());
    EXPECT_EQ(p.ui.installerWindows[0]->progress.back(), 0);
    EXPECT_TRUE(runs.empty());
    // The user asked for the file, so the failure is named, with the reason where one is known.
    ASSERT_EQ(p.ui.dialogs.size(), 1u);
    EXPECT_EQ(p.ui.dialogs[0].content.title, L"Error");
    EXPECT_TRUE(StartsWith(p.ui.dialogs[0].content.text, notRun))
        << ToUtf8(p.ui.dialogs[0].content.text);
    if (!c.reason.empty()) {
      EXPECT_NE(p.ui.dialogs[0].content.text.find(c.reason), std::wstring::npos)
          << ToUtf8(p.ui.dialogs[0].content.text);
    }
    // No partial file, no installer folder.
    EXPECT_TRUE(TempFiles(p).empty());
  }
}

TEST_F(InstallFlow, AShareCopyThatCannotBeMadeIsNamedAndNotDownloadedInstead) {
  run.options.SetShareLocation(kShare);
  const std::wstring shared = kShare + L"\\Common\\Braille Fonts.msi";
  p.files.AddFile(shared, std::string(10000, 'p'));
  p.files.SetSpaceLeft(100);
  Installer::Install(run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false, L"");
  EXPECT_TRUE(runs.empty());
  EXPECT_TRUE(p.http.requested.empty());
  ASSERT_EQ(p.ui.dialogs.size(), 1u);
  EXPECT_EQ(p.ui.dialogs[0].content.text,
            L"The file \"Braille Fonts.msi\" could not be copied from the shared folder. It was "
            L"not run.");
  EXPECT_TRUE(TempFiles(p).empty());
  EXPECT_TRUE(p.files.Exists(shared));
}

TEST_F(InstallFlow, WithoutAFolderOfItsOwnNothingIsFetchedOrRun) {
  const std::wstring why =
      L"\r\n\r\nNo folder of its own could be made for it in the temporary folder.";
  const std::wstring notDownloaded =
      L"The file \"Braille Fonts.msi\" could not be downloaded. It was not run." + why;
  const std::wstring notCopied =
      L"The file \"Braille Fonts.msi\" could not be copied from the shared folder. It was not "
      L"run." +
      why;
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
  };
  const Case causes[] = {
      {"five names taken",
       [](FakePlatform& p) {
         for (uint64_t i = 0; i < 5; ++i)
           p.files.AddDir(kTemp + FolderName(p.system.nextRandom + i));
       }},
      {"no random generator", [](FakePlatform& p) { p.system.randomFails = true; }},
      {"a temporary folder that refuses new folders",
       [](FakePlatform& p) { p.files.SetReadOnlyDir(kTemp, true); }},
  };
  for (const bool fromShare : {false, true}) {
    for (const Case& c : causes) {
      SCOPED_TRACE(std::string(c.name) + (fromShare ? ", share copy" : ", download"));
      FakeRun row;
      FakePlatform& fresh = row.p;
      int started = 0;
      fresh.shell.onExecuteEx = [&](const ShellExecuteRequest&) {
        ++started;
        return ShellStart{true, std::make_unique<FakeProcess>(0)};
      };
      if (fromShare) {
        row.run.options.SetShareLocation(kShare);
        fresh.files.AddFile(kShare + L"\\Common\\Braille Fonts.msi", "package");
      }
      FakeHttp::Reply reply;
      reply.body = "package";
      fresh.http.replies[kBrailleUrl] = reply;
      c.arrange(fresh);
      const std::vector<std::wstring> before = TempFiles(fresh);
      fresh.files.ClearChanges();

      Installer::Install(row.run, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                         L"");

      EXPECT_EQ(started, 0);
      EXPECT_TRUE(fresh.ui.installerWindows.empty());
      EXPECT_TRUE(fresh.http.requested.empty());
      EXPECT_TRUE(fresh.files.Changes().empty()) << ::testing::PrintToString(fresh.files.Changes());
      EXPECT_EQ(TempFiles(fresh), before);
      ASSERT_EQ(fresh.ui.dialogs.size(), 1u);
      const std::wstring& text = fresh.ui.dialogs[0].content.text;
      EXPECT_EQ(text, fromShare ? notCopied : notDownloaded);
      EXPECT_EQ(fresh.ui.dialogs[0].content.title, L"Error");
      // Traced as every other refusal.
      const std::vector<std::wstring>& lines = fresh.system.debugOutput;
      EXPECT_NE(std::find(lines.begin(), lines.end(), Trace::Format(text) + L"\n"), lines.end());
    }
  }
}

TEST_F(InstallFlow, ADisplayNameWithoutExtensionRunsNothing) {
  Serve(kBrailleUrl, "pkg");
  Installer::Install(run, L"Braille Fonts", L"Braille Fonts", kBrailleUrl, false, L"");
  EXPECT_TRUE(runs.empty());
  EXPECT_EQ(p.http.requested.size(), 1u);
  EXPECT_TRUE(TempFiles(p).empty());
  EXPECT_TRUE(p.ui.installerWindows[0]->closed);
}

TEST_F(InstallFlow, ElevationAppliesToProgramsOnly) {
  struct Case {
    std::string name;
    std::wstring fileName = L"Windows 7 64bit Crystal Update.exe";
    bool fromShare = false;  // else downloaded
    OsVersion version{true, 6, 1, 2};
    bool elevate = true;
    // what runs
    bool viaMsiexec = false;
    std::optional<std::wstring> verb;
  };
  // clang-format off
  const Case cases[] = {
      MakeRow<Case>([](auto& c) { c.name = "downloaded program, Windows 7"; c.verb = L"runas"; }),
      MakeRow<Case>([](auto& c) {
        c.name = "downloaded program, XP"; c.version = {true, 5, 1, 2}; c.verb = L"open";
      }),
      MakeRow<Case>([](auto& c) { c.name = "downloaded program, not elevated"; c.elevate = false; }),
      MakeRow<Case>([](auto& c) {
        c.name = "copied program, Windows 10"; c.fromShare = true; c.version = {true, 10, 0, 2};
        c.verb = L"runas";
      }),
      MakeRow<Case>([](auto& c) {
        c.name = "package asked to elevate"; c.fileName = L"Crystal 8.5.msi"; c.viaMsiexec = true;
      }),
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    runs.clear();
    p.ui.installerWindows.clear();
    p.system.version = c.version;
    run.options.SetShareLocation(c.fromShare ? kShare : L"");
    p.files.AddFile(kShare + L"\\Common\\" + c.fileName, "installer");
    Serve(kBrailleUrl, "installer");
    Installer::Install(run, c.fileName, c.fileName, kBrailleUrl, c.elevate, L"");
    EXPECT_EQ(p.ui.installerWindows.size(), c.fromShare ? 0u : 1u);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].request.file == kMsiexec, c.viaMsiexec);
    EXPECT_EQ(runs[0].request.verb, c.verb);
    EXPECT_EQ(LowerAscii(ExtractFileExt(runs[0].path)), LowerAscii(ExtractFileExt(c.fileName)));
    EXPECT_EQ(runs[0].bytes, "installer");
  }
}

TEST_F(InstallFlow, AnArchiveIsUnpackedAndItsErrorsReachTheCaller) {
  const std::wstring target = L"C:\\Fonts";
  Serve(kBrailleUrl, test::ZipBuilder().Stored("fonts/a.ttf", "font a").Build());
  Installer::Install(run, L"fonts.zip", L"fonts.zip", kBrailleUrl, false, target);
  EXPECT_EQ(p.files.ReadFileText(target + L"\\fonts\\a.ttf"), "font a");
  EXPECT_TRUE(runs.empty());

  // A damaged archive: the window still closes, and the error comes out of Install.
  Serve(kBrailleUrl, "not an archive");
  EXPECT_THROW(Installer::Install(run, L"fonts.zip", L"fonts.zip", kBrailleUrl, false, target),
               LauncherError);
  ASSERT_EQ(p.ui.installerWindows.size(), 2u);
  EXPECT_TRUE(p.ui.installerWindows[1]->closed);

  // The same from the share: the copy is removed although unpacking failed.
  run.options.SetShareLocation(kShare);
  p.files.AddFile(kShare + L"\\Common\\fonts.zip", "not an archive");
  size_t before = TempFiles(p).size();
  EXPECT_THROW(Installer::Install(run, L"fonts.zip", L"fonts.zip", kBrailleUrl, false, target),
               LauncherError);
  EXPECT_EQ(TempFiles(p).size(), before);
}

// A user interface whose threads wait until the test lets them run, and whose installer window
// is activated as the test says.
class SteppedUserInterface : public fake::FakeUserInterface {
 public:
  std::vector<std::function<void()>> pending;
  int activations = 2;
  bool runThreadsWhileShown = true;
  bool failStart = false;

  void StartThread(std::function<void()> body, const std::wstring& name) override {
    if (failStart) throw LauncherError(L"Cannot start a thread.");
    threadNames.push_back(name);
    pending.push_back(std::move(body));
  }
  void ShowInstallerWindow(const std::function<void(IInstallerWindow&)>& onActivate) override {
    auto window = std::make_shared<FakeInstallerWindow>();
    installerWindows.push_back(window);
    for (int i = 0; i < activations && !window->closed; ++i) onActivate(*window);
    if (runThreadsWhileShown) RunThreads();
  }
  void RunThreads() {
    auto bodies = std::move(pending);
    pending.clear();
    for (auto& body : bodies) FakeUserInterface::StartThread(body, L"");
  }
};

// The fixture's fakes with the stepped user interface in place of the fake one; its tests install
// through steppedRun.
class InstallWindow : public InstallFlow {
 protected:
  static PlatformServices WithUi(PlatformServices services, IUserInterface& ui) {
    services.ui = &ui;
    return services;
  }
  SteppedUserInterface ui;
  LaunchRun steppedRun{WithUi(p.Services(), ui)};
};

TEST_F(InstallWindow, ASecondActivationDoesNotStartASecondDownload) {
  Serve(kBrailleUrl, "pkg");
  Installer::Install(steppedRun, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                     L"");
  EXPECT_EQ(ui.threadsStarted, 1);
  EXPECT_EQ(p.http.requested.size(), 1u);
  EXPECT_EQ(runs.size(), 1u);
  ASSERT_EQ(ui.installerWindows.size(), 1u);
  EXPECT_TRUE(ui.installerWindows[0]->closed);
}

TEST_F(InstallWindow, AThreadThatCannotStartClosesTheWindow) {
  Serve(kBrailleUrl, "pkg");
  ui.failStart = true;
  Installer::Install(steppedRun, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                     L"");
  ASSERT_EQ(ui.installerWindows.size(), 1u);
  EXPECT_TRUE(ui.installerWindows[0]->hidden);
  EXPECT_TRUE(ui.installerWindows[0]->closed);
  EXPECT_TRUE(p.http.requested.empty());
  EXPECT_TRUE(runs.empty());
}

TEST_F(InstallWindow, AReportAfterTheWindowHasGoneRunsNothing) {
  Serve(kBrailleUrl, "pkg");
  ui.activations = 1;
  ui.runThreadsWhileShown = false;
  Installer::Install(steppedRun, L"Braille Fonts.msi", L"Braille Fonts.msi", kBrailleUrl, false,
                     L"");
  ui.RunThreads();  // the download starts after Install has returned and removed its folder
  EXPECT_TRUE(p.http.requested.empty());
  EXPECT_TRUE(runs.empty());
  EXPECT_TRUE(ui.installerWindows[0]->statusTexts.empty());
}

}  // namespace
}  // namespace zl
