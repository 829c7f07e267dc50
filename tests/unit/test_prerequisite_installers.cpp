// The prerequisite installers: which installer each offer fetches and runs, from where, elevated
// or not, and the report viewer patch's wait for its marker file.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "checks/PCInspector.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "prerequisites/AppInspector.h"
#include "utils/Text.h"
#include "TestSupport.h"
#include "utils/Paths.h"

namespace zl {
namespace {

using fake::FakeHttp;
using namespace test;

const std::wstring kServer = L"http://dl.example:8080";
const std::wstring kMarker = L"D:\\Users\\ann\\CrystalPatched.txt";

const std::wstring kXI = L"Crystal Reports XI.msi";
const std::wstring kBarcode = L"BarCode Fonts Installer.msi";
const std::wstring kBraille = L"Braille Fonts.msi";
const std::wstring k85 = L"Crystal 8.5.msi";
const std::wstring kPatch64 = L"Windows 7 64bit Crystal Update.exe";
const std::wstring kPatch32 = L"Windows 7 32bit Crystal Update.exe";

// Each installer's bytes are its name, so a run shows which one arrived.
struct Started {
  std::wstring installer;
  bool viaMsiexec;
  std::wstring verb;
  bool operator==(const Started& o) const {
    return installer == o.installer && viaMsiexec == o.viaMsiexec && verb == o.verb;
  }
  friend std::ostream& operator<<(std::ostream& os, const Started& r) {
    return os << ToUtf8(r.installer) << (r.viaMsiexec ? " (msiexec)" : "") << " verb '"
              << ToUtf8(r.verb) << "'";
  }
};

// Each workstation is a run of its own, so it starts from fresh options.
struct Workstation : FakeRun {
  std::vector<Started> runs;
  std::function<void(const std::wstring&)> onRun;
  std::wstring lastRunFile;  // the path of the file the last installer ran from

  Workstation() {
    run.options.SetDownloadServer(kServer);
    p.system.environment[L"HomeDrive"] = L"D:";
    p.system.environment[L"HomePath"] = L"\\Users\\ann";
    SetVersion(6, 1);
    const std::pair<std::wstring, std::wstring> served[] = {
        {L"/Velmont/Crystal%20Reports%20XI%20Installer.msi", kXI},
        {L"/Velmont/BarCode%20Fonts%20Installer.msi", kBarcode},
        {L"/Velmont/Braille%20Fonts.msi", kBraille},
        {L"/Quenda/Crystal%208.5.msi", k85},
        {L"/Quenda/Windows%207%2064bit%20Crystal%20Update.exe", kPatch64},
        {L"/Quenda/Windows%207%2032bit%20Crystal%20Update.exe", kPatch32},
    };
    for (const auto& [path, name] : served) {
      FakeHttp::Reply reply;
      reply.body = ToUtf8(name);
      p.http.replies[kServer + path] = reply;
    }
    // Folder probes start programs that do not exist; those fail as on Windows.
    p.shell.onExecuteEx = [this](const ShellExecuteRequest& r) -> ShellStart {
      std::wstring file = r.file;
      bool msi = r.file == kMsiexec;
      if (msi) file = r.parameters.substr(13, r.parameters.size() - 14);  // /passive /i "..."
      if (!p.files.Exists(file)) return {};
      std::wstring installer = FromUtf8(p.files.ReadFileText(file));
      runs.push_back({installer, msi, r.verb.value_or(L"")});
      lastRunFile = file;
      if (onRun) onRun(installer);
      return ShellStart{true, nullptr};
    };
  }
  void SetVersion(uint32_t major, uint32_t minor) {
    p.system.version = OsVersion{true, major, minor, 2};
  }
  std::vector<std::wstring> Downloads() {
    std::vector<std::wstring> paths;
    for (const std::wstring& url : p.http.requested) paths.push_back(url.substr(kServer.size()));
    return paths;
  }
  std::vector<std::wstring> WindowTexts() {
    std::vector<std::wstring> texts;
    for (auto& w : p.ui.installerWindows)
      texts.push_back(w->statusTexts.empty() ? L"" : w->statusTexts.back());
    return texts;
  }
  bool Patched() {
    RegValue v = p.registry.Get(RegRoot::CurrentUser, kLauncherKey, L"Crystal85Patched");
    return v.kind == RegKind::Dword && v.dword == 1;
  }
};

struct PrerequisiteInstallersTest : ::testing::Test {};

TEST_F(PrerequisiteInstallersTest, EachOfferDownloadsAndRunsItsRow) {
  struct Case {
    const char* name;
    std::function<void(Workstation&)> setUp;
    void (*install)(LaunchRun&);
    std::vector<std::wstring> downloads;
    std::vector<Started> runs;
  } cases[] = {
      {"barcode fonts",
       [](auto&) {},
       &AppInspector::InstallBarcodeFonts,
       {L"/Velmont/BarCode%20Fonts%20Installer.msi"},
       {{kBarcode, true, L""}}},
      {"braille fonts",
       [](auto&) {},
       &AppInspector::InstallBrailleFonts,
       {L"/Velmont/Braille%20Fonts.msi"},
       {{kBraille, true, L""}}},
      {"Velmont report viewer",
       [](auto& w) { w.run.options.SetAppLocation(L"\\\\s\\Zelkora$\\Velmont\\Velmont.exe"); },
       &AppInspector::InstallCrystal,
       {L"/Velmont/Crystal%20Reports%20XI%20Installer.msi"},
       {{kXI, true, L""}}},
      {"Quenda on Vista without the runtime",
       [](auto& w) {
         w.run.options.SetAppLocation(L"\\\\s\\Zelkora$\\Quenda\\Quenda.exe");
         w.SetVersion(6, 0);
       },
       &AppInspector::InstallCrystal,
       {L"/Quenda/Crystal%208.5.msi"},
       {{k85, true, L""}}},
      {"Quenda on Windows 7 64-bit without the runtime",
       [](auto& w) {
         w.run.options.SetAppLocation(L"\\\\s\\Zelkora$\\Quenda\\Quenda.exe");
         w.p.system.wow64 = Wow64State::Yes;
       },
       &AppInspector::InstallCrystal,
       {L"/Quenda/Crystal%208.5.msi", L"/Quenda/Windows%207%2064bit%20Crystal%20Update.exe"},
       {{k85, true, L""}, {kPatch64, false, L"runas"}}},
      {"Quenda with the runtime, 32-bit Vista: only the patch",
       [](auto& w) {
         w.run.options.SetAppLocation(L"\\\\s\\Zelkora$\\Quenda\\Quenda.exe");
         w.SetVersion(6, 0);
         w.p.system.wow64 = Wow64State::No;
         w.p.files.AddFile(kCrpe32, "MZ");
       },
       &AppInspector::InstallCrystal,
       {L"/Quenda/Windows%207%2032bit%20Crystal%20Update.exe"},
       {{kPatch32, false, L"runas"}}},
      {"unknown application type",
       [](auto& w) { w.run.options.SetAppLocation(L"\\\\s\\Zelkora$\\Other.exe"); },
       &AppInspector::InstallCrystal,
       {},
       {}},
  };
  for (const Case& c : cases) {
    Workstation w;
    c.setUp(w);
    c.install(w.run);
    EXPECT_EQ(w.Downloads(), c.downloads) << c.name;
    EXPECT_EQ(w.runs, c.runs) << c.name;
    // The display name is the file name.
    std::vector<std::wstring> texts;
    for (const Started& r : c.runs) texts.push_back(L"Downloading " + r.installer);
    EXPECT_EQ(w.WindowTexts(), texts) << c.name;
  }
}

TEST_F(PrerequisiteInstallersTest, ACopyOnTheShareIsInstalledWithoutDownload) {
  Workstation w;
  w.run.options.SetShareLocation(L"\\\\srv01\\Zelkora$");
  w.p.files.AddFile(L"\\\\srv01\\Zelkora$\\Common\\Braille Fonts.msi", ToUtf8(kBraille));
  AppInspector::InstallBrailleFonts(w.run);
  EXPECT_EQ(w.runs, (std::vector<Started>{{kBraille, true, L""}}));
  EXPECT_TRUE(w.p.http.requested.empty());
  EXPECT_TRUE(w.p.ui.installerWindows.empty());
}

TEST_F(PrerequisiteInstallersTest, PatchWaitsUpToSixtySecondsForItsMarker) {
  enum Registry { Writable, KeyRefused, WriteRefused };
  struct Case {
    const char* name;
    int markerAfterSleeps;  // -1: never; 0: the patch program leaves it
    bool patchDownloads;
    Registry registry;
    size_t sleeps;
    bool flagged;
  } cases[] = {
      {"left by the patch program", 0, true, Writable, 0, true},
      {"after 30 seconds", 30, true, Writable, 30, true},
      {"after the last sleep", 60, true, Writable, 60, true},
      {"never", -1, true, Writable, 60, false},
      {"patch download failed", -1, false, Writable, 60, false},
      {"key refused", 30, true, KeyRefused, 30, false},
      {"value refused", 30, true, WriteRefused, 30, false},
  };
  for (const Case& c : cases) {
    Workstation w;
    w.run.options.SetAppLocation(L"\\\\s\\Zelkora$\\Quenda\\Quenda.exe");
    w.p.files.AddFile(kCrpe32, "MZ");
    if (!c.patchDownloads) w.p.http.replies.clear();
    if (c.registry == KeyRefused)
      w.p.registry.DenyWrite(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64);
    if (c.registry == WriteRefused) w.p.registry.failValueWrites = true;
    std::wstring patchFolder;
    w.onRun = [&](const std::wstring& installer) {
      if (installer != kPatch64) return;
      patchFolder = GetDir(w.lastRunFile);
      if (c.markerAfterSleeps == 0) w.p.files.AddFile(kMarker, "");
    };
    bool folderKeptWhileWaiting = true;
    w.p.system.onSleep = [&](uint32_t) {
      // The patch program may still be at work from its folder.
      if (!patchFolder.empty() && !w.p.files.GetAttributes(patchFolder).directory)
        folderKeptWhileWaiting = false;
      if (int(w.p.system.sleeps.size()) == c.markerAfterSleeps) w.p.files.AddFile(kMarker, "");
    };

    AppInspector::InstallCrystal(w.run);

    EXPECT_EQ(w.p.system.sleeps, std::vector<uint32_t>(c.sleeps, 1000)) << c.name;
    EXPECT_TRUE(folderKeptWhileWaiting) << c.name;
    if (!patchFolder.empty()) {
      EXPECT_FALSE(w.p.files.GetAttributes(patchFolder).exists) << c.name;
    }
    EXPECT_EQ(w.Patched(), c.flagged) << c.name;
    // A marker that was seen is gone afterwards, whether or not the flag could be written.
    EXPECT_FALSE(w.p.files.Exists(kMarker)) << c.name;
    if (c.markerAfterSleeps < 0) {
      EXPECT_FALSE(w.p.registry.HasKey(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64))
          << c.name;
    }
  }
}

}  // namespace
}  // namespace zl
