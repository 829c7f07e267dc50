// The database engine settings of Quenda: when they are rewritten, the "BDE.REG" file byte for
// byte, its import and removal, the round trip through the registry, and roots that are refused.

#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "checks/PCInspector.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "prerequisites/AppInspector.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

const std::wstring kEngineKey = L"SOFTWARE\\Borland\\Database Engine";
const std::wstring kInitKey =
    L"SOFTWARE\\Borland\\Database Engine\\Settings\\DRIVERS\\PARADOX\\INIT";
// In a folder of its own named from the fake's random bytes, as an installer's.
const std::wstring kRegFolder = L"C:\\Temp\\zlefcdab8967452301";
const std::wstring kRegFile = kRegFolder + L"\\BDE.REG";

// The file for OrvexAddress 192.168.1.10 on 64-bit Windows.
std::string ExpectedFile() {
  std::string here = __FILE__;
  std::ifstream in(here.substr(0, here.find_last_of("/\\") + 1) + "data/BDE.REG.expected",
                   std::ios::binary);
  EXPECT_TRUE(in.good()) << "tests/unit/data/BDE.REG.expected not found";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Imports the text as the registry editor would, for the key lines and "name"="text" values the
// template uses. The Wow6432Node branch named in a key line is the 32-bit view.
void ImportRegFile(fake::FakeRegistry& registry, const std::string& text) {
  std::wstring key;
  RegView view = RegView::Default;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_FALSE(line.empty()) << "a line without CR";
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    if (line.empty() || line == "Windows Registry Editor Version 5.00") continue;
    std::wstring w = FromUtf8(line);
    if (w.front() == L'[') {
      ASSERT_TRUE(StartsWith(w, L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\")) << line;
      key = w.substr(20, w.size() - 21);
      view = RegView::Reg64;
      if (StartsWith(key, L"SOFTWARE\\Wow6432Node\\")) {
        key = L"SOFTWARE\\" + key.substr(21);
        view = RegView::Reg32;
      }
      ASSERT_TRUE(registry.CreateKey(RegRoot::LocalMachine, key, view));
      continue;
    }
    size_t eq = w.find(L"\"=\"");
    ASSERT_TRUE(w.front() == L'"' && eq != std::wstring::npos && w.back() == L'"') << line;
    std::wstring name = w.substr(1, eq - 1);
    std::wstring value;
    for (size_t i = eq + 3; i + 1 < w.size(); ++i) {
      ASSERT_NE(w[i], L'"') << line;
      if (w[i] == L'\\') ++i;
      value += w[i];
    }
    ASSERT_TRUE(registry.WriteString(RegRoot::LocalMachine, key, name, value, view));
  }
}

// A Quenda workstation whose registry editor shows what it was given to import. Each one is a
// run of its own, so it starts from fresh options.
struct Workstation : test::FakeRun {
  std::vector<ShellExecuteRequest> regeditRuns;
  std::vector<std::string> imported;  // the file's bytes while the editor ran

  Workstation() {
    run.options.SetSkipCR(true);
    run.options.SetSkipPC(true);
    run.options.SetAppLocation(L"\\\\192.168.1.10\\Zelkora$\\Quenda\\Quenda.exe");
    run.options.SetOrvexAddress(L"192.168.1.10");
    p.system.version = OsVersion{true, 6, 1, 2};
    p.shell.onExecuteEx = [this](const ShellExecuteRequest& r) -> ShellStart {
      if (r.file != p.system.systemWindowsDirectory + L"\\regedit.exe") return {};
      regeditRuns.push_back(r);
      size_t open = r.parameters.find(L'"');
      std::wstring file = r.parameters.substr(open + 1, r.parameters.size() - open - 2);
      imported.push_back(p.files.ReadFileText(file));
      return ShellStart{true, nullptr};
    };
  }
  void Launch() {
    run.findings = LaunchErrorList();
    AppInspector::Inspect(run);
    EXPECT_EQ(run.findings.Count(), 0);
  }
  void SetEngine(const std::wstring& root, RegView view = RegView::Default) {
    p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", root + L"\\Common\\BDE\\",
                         view);
    p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"ConfigFile01",
                         root + L"\\Common\\BDE\\idapi32.cfg", view);
    p.registry.SetString(RegRoot::LocalMachine, kInitKey, L"NET DIR", root + L"\\Common\\", view);
  }
};

struct BdeConfigTest : ::testing::Test, Workstation {};

TEST_F(BdeConfigTest, RewriteWritesTheTemplateImportsItElevatedAndDeletesTheFile) {
  p.system.wow64 = Wow64State::Yes;
  Launch();
  ASSERT_EQ(imported.size(), 1u);
  EXPECT_EQ(imported[0], ExpectedFile());

  const ShellExecuteRequest& r = regeditRuns[0];
  EXPECT_EQ(r.parameters, L"/s \"" + kRegFile + L"\"");
  EXPECT_EQ(r.verb.value_or(L""), L"runas");
  EXPECT_FALSE(r.mask & see::FlagNoUi);
  EXPECT_FALSE(p.files.Exists(kRegFolder));
  using K = FakeFileSystem::ChangeKind;
  std::vector<FakeFileSystem::Change> changes = p.files.Changes();
  EXPECT_EQ(changes, (std::vector<FakeFileSystem::Change>{{K::CreateDirectory, kRegFolder},
                                                          {K::CreateFile, kRegFile},
                                                          {K::DeleteFile, kRegFile},
                                                          {K::RemoveDirectory, kRegFolder}}));
}

// Between the read-back and the editor's end the file is held: what the editor imports as
// administrator is the text built, and a file changed before the read-back is not imported.
TEST_F(BdeConfigTest, OnlyTheTextBuiltIsImportedAndNobodyCanChangeItMeanwhile) {
  p.system.wow64 = Wow64State::Yes;
  bool overwritten = false;
  auto inner = p.shell.onExecuteEx;
  p.shell.onExecuteEx = [&](const ShellExecuteRequest& r) {
    try {
      p.files.CreateWrite(kRegFile)->Write("x", 1);
      overwritten = true;
    } catch (const LauncherError&) {
    }
    return inner(r);
  };
  Launch();
  EXPECT_FALSE(overwritten);
  ASSERT_EQ(imported.size(), 1u);
  EXPECT_EQ(imported[0], ExpectedFile());
  EXPECT_EQ(p.files.Holds(), 1);

  // Someone changes the file between the write and the read-back: nothing is imported.
  Workstation t;
  t.p.files.SetOnHold([&t](const std::wstring& path) { t.p.files.AddFile(path, "[HKEY_"); });
  t.Launch();
  EXPECT_TRUE(t.imported.empty());
  EXPECT_FALSE(t.p.files.Exists(kRegFolder));
  const std::vector<std::wstring>& lines = t.p.system.debugOutput;
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::wstring& l) {
                           return l.find(L"no longer holds the text written") != std::wstring::npos;
                         }),
            lines.end());
}

// The editor runs elevated: it must be the one in the shared Windows folder, never a path a
// standard user could create (c:\windows where Windows is on another drive) nor the user's own
// Windows folder on a terminal server.
TEST(BdeConfigEditor, TheElevatedEditorIsTheSharedWindowsFolders) {
  struct Case {
    const char* name;
    std::wstring windows, systemWindows, editor;
  } cases[] = {
      {"default", L"C:\\Windows", L"C:\\Windows", L"C:\\Windows\\regedit.exe"},
      {"Windows on D:", L"C:\\Windows", L"D:\\WINNT", L"D:\\WINNT\\regedit.exe"},
      {"terminal server", L"C:\\Users\\tester\\WINDOWS", L"E:\\Windows",
       L"E:\\Windows\\regedit.exe"},
  };
  for (const Case& c : cases) {
    Workstation t;
    t.p.system.windowsDirectory = c.windows;
    t.p.system.systemWindowsDirectory = c.systemWindows;
    t.Launch();
    ASSERT_EQ(t.p.shell.executed.size(), 1u) << c.name;
    EXPECT_EQ(t.p.shell.executed[0].file, c.editor) << c.name;
    EXPECT_EQ(t.p.shell.executed[0].verb.value_or(L""), L"runas") << c.name;
    EXPECT_EQ(t.imported.size(), 1u) << c.name;
  }
}

TEST_F(BdeConfigTest, TheFileFollowsTheWindowsBitnessAndTheShareRoot) {
  const std::string expected64 = ExpectedFile();
  const std::string ip = R"(\\\\192.168.1.10\\Zelkora$)";
  struct Case {
    const char* name;
    Wow64State wow64;
    std::wstring orvexAddress, appLocation;
    std::string expected;
  } cases[] = {
      {"64-bit", Wow64State::Yes, L"192.168.1.10", L"\\\\x\\y\\Quenda.exe", expected64},
      {"32-bit", Wow64State::No, L"192.168.1.10", L"\\\\x\\y\\Quenda.exe",
       ReplaceAll(expected64, "Wow6432Node\\", "")},
      {"no IsWow64Process", Wow64State::NoFunction, L"192.168.1.10", L"\\\\x\\y\\Quenda.exe",
       ReplaceAll(expected64, "Wow6432Node\\", "")},
      {"server name", Wow64State::Yes, L"srv01", L"\\\\x\\y\\Quenda.exe",
       ReplaceAll(expected64, ip, R"(\\\\srv01\\Zelkora$)")},
      {"application folder", Wow64State::Yes, L"", L"\\\\srv\\Zelkora$\\Quenda\\Quenda.exe",
       ReplaceAll(expected64, ip, R"(\\\\srv\\Zelkora$\\Quenda\\..)")},
      {"placeholder text in the root stays text", Wow64State::No, L"a%1:sb", L"",
       ReplaceAll(ReplaceAll(expected64, "Wow6432Node\\", ""), ip, R"(\\\\a%1:sb\\Zelkora$)")},
  };
  for (const Case& c : cases) {
    imported.clear();
    p.system.wow64 = c.wow64;
    run.options.SetAppLocation(c.appLocation);
    run.options.SetIsQuenda(true);
    run.options.SetOrvexAddress(c.orvexAddress);
    Launch();
    ASSERT_EQ(imported.size(), 1u) << c.name;
    EXPECT_EQ(imported[0], c.expected) << c.name;
  }
  // The application folder's case written out, as the registry editor will store it.
  EXPECT_NE(cases[4].expected.find(R"("NET DIR"="\\\\srv\\Zelkora$\\Quenda\\..\\Common\\")"),
            std::string::npos);
  EXPECT_NE(cases[1].expected.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland]\r\n"),
            std::string::npos);
}

TEST_F(BdeConfigTest, WhichSettingsCauseARewrite) {
  const std::wstring root = L"\\\\192.168.1.10\\Zelkora$";
  const RegValue dword{RegKind::Dword, L"", 5};
  struct Case {
    const char* name;
    std::function<void(Workstation&)> setUp;
    bool rewrite;
  } cases[] = {
      {"matching", [&](auto& t) { t.SetEngine(root); }, false},
      {"nothing configured", [](auto&) {}, true},
      {"matching in the 64-bit view only", [&](auto& t) { t.SetEngine(root, RegView::Reg64); },
       true},
      {"letter case differs", [&](auto& t) { t.SetEngine(L"\\\\192.168.1.10\\ZELKORA$"); }, true},
      {"DLLPATH differs",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", root + L"\\BDE\\");
       },
       true},
      {"ConfigFile01 differs",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"CONFIGFILE01", L"x.cfg");
       },
       true},
      {"NET DIR differs",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.SetString(RegRoot::LocalMachine, kInitKey, L"NET DIR", root + L"\\");
       },
       true},
      {"DLLPATH missing",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.DeleteValue(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", RegView::Default);
       },
       true},
      {"INIT key missing",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.DeleteKey(RegRoot::LocalMachine, kInitKey, RegView::Default);
       },
       true},
      {"expandable strings that match",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.Set(RegRoot::LocalMachine, kInitKey, L"NET DIR",
                          RegValue{RegKind::ExpandString, root + L"\\Common\\", 0});
       },
       false},
      // A value of another type ends its block; what was decided before it stands.
      {"DLLPATH a number",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.Set(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", dword);
       },
       false},
      {"DLLPATH a number, ConfigFile01 differs",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.Set(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", dword);
         t.p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"ConfigFile01", L"x.cfg");
       },
       false},
      {"DLLPATH differs, ConfigFile01 a number",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", L"C:\\BDE\\");
         t.p.registry.Set(RegRoot::LocalMachine, kEngineKey, L"ConfigFile01", dword);
       },
       true},
      {"NET DIR a number",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.Set(RegRoot::LocalMachine, kInitKey, L"NET DIR", dword);
       },
       false},
      {"NET DIR a number, DLLPATH differs",
       [&](auto& t) {
         t.SetEngine(root);
         t.p.registry.Set(RegRoot::LocalMachine, kInitKey, L"NET DIR", dword);
         t.p.registry.SetString(RegRoot::LocalMachine, kEngineKey, L"DLLPATH", L"C:\\BDE\\");
       },
       true},
  };
  for (const Case& c : cases) {
    Workstation t;
    c.setUp(t);
    t.Launch();
    EXPECT_EQ(t.imported.size(), c.rewrite ? 1u : 0u) << c.name;
    EXPECT_EQ(t.p.files.Changes().empty(), !c.rewrite) << c.name;
  }
}

TEST_F(BdeConfigTest, AnImportedRewriteIsLeftAloneAtTheNextLaunch) {
  struct Case {
    Wow64State wow64;
    std::wstring orvexAddress;
  } cases[] = {
      {Wow64State::Yes, L"192.168.1.10"},
      {Wow64State::Yes, L""},
      {Wow64State::No, L"srv01"},
  };
  for (const Case& c : cases) {
    Workstation t;
    t.p.system.wow64 = c.wow64;
    t.p.registry.wow64 = c.wow64 == Wow64State::Yes;
    t.run.options.SetOrvexAddress(c.orvexAddress);
    t.Launch();
    ASSERT_EQ(t.imported.size(), 1u);
    ImportRegFile(t.p.registry, t.imported[0]);
    t.Launch();
    EXPECT_EQ(t.imported.size(), 1u) << ToUtf8(c.orvexAddress) << " wow64=" << int(c.wow64);
  }
}

TEST_F(BdeConfigTest, ARootThatWouldBreakOutOfItsValueIsNeverWritten) {
  struct Case {
    std::wstring orvexAddress, appLocation;
  } cases[] = {
      {L"srv\"01", L""},
      {L"srv\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]", L""},
      {L"srv\n01", L""},
      {L"srv\t01", L""},
      {std::wstring(L"srv") + wchar_t(127), L""},
      {std::wstring(L"srv") + wchar_t(1), L""},
      {L"", L"\\\\srv\\Zel\"kora$\\Quenda\\Quenda.exe"},
      // A full-width quote would become a real one by best fit; the code page cannot hold it.
      {L"", L"S:\\Zel\uFF02kora$\\Quenda\\Quenda.exe"},
      {L"", L"S:\\\u0417elkora\\Quenda\\Quenda.exe"},
  };
  for (const Case& c : cases) {
    Workstation t;
    t.run.options.SetAppLocation(c.appLocation.empty() ? L"\\\\srv\\Z\\Quenda.exe" : c.appLocation);
    t.run.options.SetOrvexAddress(c.orvexAddress);
    t.Launch();
    EXPECT_TRUE(t.p.files.Changes().empty()) << ToUtf8(c.orvexAddress + c.appLocation);
    EXPECT_TRUE(t.p.shell.executed.empty()) << ToUtf8(c.orvexAddress + c.appLocation);
  }
}

TEST_F(BdeConfigTest, FailuresBeforeTheImport) {
  // A file that cannot be written leaves the step to the launch sequence, as does an unknown
  // bitness; the editor does not start.
  p.files.FailNextCreateWrite();
  EXPECT_THROW(AppInspector::Inspect(run), LauncherError);
  EXPECT_TRUE(regeditRuns.empty());

  p.system.wow64 = Wow64State::Failed;
  EXPECT_THROW(AppInspector::Inspect(run), LauncherError);
  EXPECT_TRUE(regeditRuns.empty());
  EXPECT_FALSE(p.files.Exists(kRegFolder));

  // No temporary folder: nothing to import from, and nothing is written elsewhere.
  p.system.wow64 = Wow64State::Yes;
  p.files.ClearChanges();
  p.files.SetTempPath(L"");
  Launch();
  EXPECT_TRUE(regeditRuns.empty());
  EXPECT_TRUE(p.files.Changes().empty());
}

}  // namespace
}  // namespace zl
