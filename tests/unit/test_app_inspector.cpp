// The prerequisite inspector: which findings, in which order, with which severity and text, for
// each application type, guard and probe result.

#include <gtest/gtest.h>

#include <optional>
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

using namespace test;

const std::wstring kCrystalXIMissing =
    L"The Crystal Reports XI viewer does not appear to be installed on this computer.  Though "
    L"Velmont will run, you will receive errors if you attempt to preview or print any invoice, "
    L"estimate, or other report.\r\n\r\nDo you want to download and install the Crystal drivers "
    L"now?";
const std::wstring kCrystalXIWrongVersion =
    L"The Crystal Reports XI viewer does not appear to be the correct version on this computer.  "
    L"Though Velmont will run, you will receive errors if you attempt to preview or print any "
    L"invoice, estimate, or other report.\r\n\r\nDo you want to download and install the Crystal "
    L"drivers now?";
const std::wstring kBarcode =
    L"Barcode Fonts does not appear to be installed on this computer.  Though Velmont will run, "
    L"barcodes on reports will not print correctly.\r\n\r\nDo you want to download and install "
    L"the Barcode fonts now?";
const std::wstring kBraille =
    L"Braille Fonts does not appear to be installed on this computer.  Though Velmont will run, "
    L"braille on certain components and reports will not print correctly.\r\n\r\nDo you want to "
    L"download and install the braille fonts now?";
const std::wstring kVelmontMemory =
    L"Zelkora recommends at least 2 GB of memory on all computers running Velmont.  Inadequate "
    L"memory will result in slow performance.";
const std::wstring kVelmontScreen =
    L"Your screen resolution is below the 1024 x 768 values recommended for Velmont.  Certain "
    L"information may not be shown off the screen and working in some screens may require "
    L"excessive scrolling.";
const std::wstring kCrystal85Missing =
    L"The Crystal Reports 8.5 viewer does not appear to be installed on this computer.  Though "
    L"Quenda will run, you will receive errors if you attempt to preview or print any invoice, "
    L"estimate, or other report\r\n\r\nDo you want to download and install the Crystal drivers "
    L"now?";
const std::wstring kCrystal85Patch =
    L"A patch for Crystal Reports 8.5 viewer does not appear to be installed on this computer.  "
    L"Though Quenda will run, you will receive errors if you attempt to preview or print any "
    L"invoice, estimate, or other report as a PDF\r\n\r\nDo you want to download and install the "
    L"Crystal patch now?";
const std::wstring kQuendaMemory =
    L"Zelkora recommends at least 1 GB of memory on all computers running Quenda.  Inadequate "
    L"memory will result in slow performance";
const std::wstring kQuendaScreen =
    L"Your screen resolution is below the 800 x 600 values recommended for Quenda.  Certain "
    L"information may not be shown off the screen and working in some screens may require "
    L"excessive scrolling.";

const std::wstring kClsid = L"{12345678-1111-2222-3333-444455556666}";
const std::wstring kCrystalDll = L"C:\\Program Files\\Crystal\\crqe.dll";

struct Finding {
  std::wstring message;
  ErrorSeverity severity;
  bool operator==(const Finding& o) const { return message == o.message && severity == o.severity; }
};

void PrintTo(const Finding& f, std::ostream* os) {
  *os << "{" << ToUtf8(f.message.substr(0, 40)) << "..., " << int(f.severity) << "}";
}

// One workstation: a run over the fakes with helpers to put the prerequisites on it. A table
// row's workstation starts from the options of the test's own.
struct Workstation : FakeRun {
  Workstation() { SetVersion(6, 1); }
  explicit Workstation(const LauncherOptions& options) : Workstation() { run.options = options; }
  void SetVersion(uint32_t major, uint32_t minor) {
    p.system.version = OsVersion{true, major, minor, 2};
  }
  void RegisterCrystalXI(const std::wstring& serverPath, RegKind kind = RegKind::String) {
    p.registry.SetString(RegRoot::ClassesRoot, L"CrystalRuntime.Report.11\\CLSID", L"", kClsid);
    p.registry.Set(RegRoot::ClassesRoot, L"CLSID\\" + kClsid + L"\\InprocServer32", L"",
                   RegValue{kind, serverPath, 0});
  }
  void InstallCrystalXI(std::optional<FileVersion> version) {
    RegisterCrystalXI(kCrystalDll);
    p.files.AddFile(kCrystalDll, "MZ");
    if (version) p.system.fileVersions[LowerAscii(kCrystalDll)] = *version;
  }
  void InstallFonts() {
    p.files.AddFile(L"C:\\Windows\\system32\\u2ldfont.dll", "MZ");
    p.files.AddFile(kBrailleFont, "font");
  }
  void InstallEverythingForVelmont() {
    InstallCrystalXI(FileVersion{11, 0, 0, 2495});
    InstallFonts();
  }
  void LackEverything() {
    p.system.totalMemory = std::nullopt;
    p.system.screenWidth = 640;
    p.system.screenHeight = 480;
  }

  std::vector<Finding> Inspect() {
    LaunchErrorList& list = run.findings;
    list = LaunchErrorList();
    AppInspector::Inspect(run);
    EXPECT_FALSE(list.IsFatal());
    std::vector<Finding> out;
    for (int i = 0; i < list.Count(); ++i)
      out.push_back({list.Items(i)->Message(), list.Items(i)->Severity()});
    return out;
  }

  void Velmont() { run.options.SetAppLocation(L"\\\\srv01\\Zelkora$\\Velmont\\Velmont.exe"); }
  void Quenda() { run.options.SetAppLocation(L"\\\\srv01\\Zelkora$\\Quenda\\Quenda.exe"); }
};

struct AppInspectorTest : ::testing::Test, Workstation {};

TEST_F(AppInspectorTest, UnknownTypeFindsNothingAndLeavesTheEngineSettingsAlone) {
  LackEverything();
  run.options.SetAppLocation(L"\\\\srv01\\Zelkora$\\Other\\Other.exe");
  ASSERT_TRUE(run.options.IsUnknown());
  EXPECT_TRUE(Inspect().empty());
  EXPECT_TRUE(p.registry.AllKeys(RegRoot::LocalMachine).empty());
  EXPECT_TRUE(p.files.Changes().empty());
  EXPECT_TRUE(p.shell.executed.empty());
}

TEST_F(AppInspectorTest, VelmontLackingEverythingGivesFiveFindingsInOrder) {
  Velmont();
  LackEverything();
  std::vector<Finding> expected = {
      {kCrystalXIMissing, ErrorSeverity::Crystal}, {kBarcode, ErrorSeverity::Barcode},
      {kBraille, ErrorSeverity::Braille},          {kVelmontMemory, ErrorSeverity::Warning},
      {kVelmontScreen, ErrorSeverity::Warning},
  };
  EXPECT_EQ(Inspect(), expected);
  // Velmont has no engine settings to correct.
  EXPECT_TRUE(p.registry.AllKeys(RegRoot::LocalMachine).empty());
  EXPECT_TRUE(p.shell.executed.empty());
}

TEST_F(AppInspectorTest, VelmontGuards) {
  struct Case {
    bool skipCR, skipPC;
    std::vector<std::wstring> expected;
  } cases[] = {
      {false, false, {kCrystalXIMissing, kBarcode, kBraille, kVelmontMemory, kVelmontScreen}},
      {true, false, {kBraille, kVelmontMemory, kVelmontScreen}},
      {false, true, {kCrystalXIMissing, kBarcode, kBraille}},
      {true, true, {kBraille}},
  };
  Velmont();
  LackEverything();
  for (const Case& c : cases) {
    run.options.SetSkipCR(c.skipCR);
    run.options.SetSkipPC(c.skipPC);
    std::vector<std::wstring> messages;
    for (const Finding& f : Inspect()) messages.push_back(f.message);
    EXPECT_EQ(messages, c.expected) << c.skipCR << c.skipPC;
  }
}

TEST_F(AppInspectorTest, CrystalXIRegistrationAndVersion) {
  enum Outcome { None, Missing, WrongVersion };
  auto installed = [](FileVersion v) { return [v](Workstation& t) { t.InstallCrystalXI(v); }; };
  struct Case {
    const char* name;
    std::function<void(Workstation&)> setUp;
    Outcome outcome;
  } cases[] = {
      {"11.0.0.2495", installed({11, 0, 0, 2495}), None},
      {"11.0.0.2494", installed({11, 0, 0, 2494}), WrongVersion},
      {"11.0.1.2500", installed({11, 0, 1, 2500}), WrongVersion},
      {"10.0.0.9999", installed({10, 0, 0, 9999}), WrongVersion},
      {"no version resource", [](auto& t) { t.InstallCrystalXI(std::nullopt); }, WrongVersion},
      {"registered, file missing", [](auto& t) { t.RegisterCrystalXI(kCrystalDll); }, Missing},
      {"registered, a folder",
       [](auto& t) {
         t.RegisterCrystalXI(kCrystalDll);
         t.p.files.AddDir(kCrystalDll);
       },
       Missing},
      {"not registered", [](auto&) {}, Missing},
      {"server path read unexpanded",
       [](auto& t) {
         t.RegisterCrystalXI(L"%ProgramFiles%\\Crystal\\crqe.dll", RegKind::ExpandString);
         t.p.files.AddFile(kCrystalDll, "MZ");
         t.p.system.environment[L"ProgramFiles"] = L"C:\\Program Files";
       },
       Missing},
      {"server value of another type",
       [](auto& t) {
         t.InstallCrystalXI(FileVersion{11, 0, 0, 2495});
         t.RegisterCrystalXI(L"", RegKind::Other);
       },
       Missing},
      {"class id leading out of the CLSID tree",
       [](auto& t) {
         t.p.registry.SetString(RegRoot::ClassesRoot, L"CrystalRuntime.Report.11\\CLSID", L"",
                                L"..\\Elsewhere");
         t.p.registry.SetString(RegRoot::ClassesRoot, L"CLSID\\..\\Elsewhere\\InprocServer32", L"",
                                kCrystalDll);
         t.p.files.AddFile(kCrystalDll, "MZ");
         t.p.system.fileVersions[LowerAscii(kCrystalDll)] = FileVersion{11, 0, 0, 2495};
       },
       Missing},
  };
  Velmont();
  for (const Case& c : cases) {
    Workstation t(run.options);  // each case on its own
    t.InstallFonts();
    c.setUp(t);
    std::vector<Finding> expected;
    if (c.outcome == Missing) expected.push_back({kCrystalXIMissing, ErrorSeverity::Crystal});
    if (c.outcome == WrongVersion)
      expected.push_back({kCrystalXIWrongVersion, ErrorSeverity::Crystal});
    EXPECT_EQ(t.Inspect(), expected) << c.name;
  }
}

TEST_F(AppInspectorTest, BarcodeFontsInTheSystemFolderOrSysWow64) {
  struct Case {
    std::vector<std::wstring> files;
    bool found;
  } cases[] = {
      {{L"C:\\Windows\\system32\\u2ldfont.dll"}, true},
      {{L"C:\\Windows\\SysWOW64\\u2ldfont.dll"}, true},
      {{L"C:\\Windows\\system32\\u2ldfont.dll", L"C:\\Windows\\SysWow64\\u2ldfont.dll"}, true},
      {{L"C:\\Windows\\u2ldfont.dll", L"C:\\Windows\\fonts\\u2ldfont.dll"}, false},
      {{}, false},
  };
  Velmont();
  for (const Case& c : cases) {
    Workstation t(run.options);
    t.InstallCrystalXI(FileVersion{11, 0, 0, 2495});
    t.p.files.AddFile(kBrailleFont, "font");
    for (const std::wstring& f : c.files) t.p.files.AddFile(f, "MZ");
    std::vector<Finding> expected;
    if (!c.found) expected.push_back({kBarcode, ErrorSeverity::Barcode});
    EXPECT_EQ(t.Inspect(), expected) << c.files.size();
  }
}

TEST_F(AppInspectorTest, MemoryThresholdsInSinglePrecision) {
  struct Case {
    bool velmont;
    std::optional<uint64_t> bytes;
    bool warned;
  } cases[] = {
      {true, uint64_t(2040109440), false},  // 1.9f GiB exactly
      {true, uint64_t(2040109439), true},  {true, uint64_t(2147483648), false},
      {true, std::nullopt, true},  // no memory query on this system
      {true, uint64_t(0), true},           {false, uint64_t(1073741824), false},
      {false, uint64_t(1073741823), true}, {false, std::nullopt, true},
  };
  for (const Case& c : cases) {
    c.velmont ? Velmont() : Quenda();
    if (c.velmont) InstallEverythingForVelmont();
    run.options.SetSkipCR(!c.velmont);
    p.system.totalMemory = c.bytes;
    std::vector<Finding> expected;
    if (c.warned)
      expected.push_back({c.velmont ? kVelmontMemory : kQuendaMemory, ErrorSeverity::Warning});
    EXPECT_EQ(Inspect(), expected) << c.velmont << " " << (c.bytes ? *c.bytes : 0);
  }
}

TEST_F(AppInspectorTest, ScreenSizeNeedsBothDimensions) {
  struct Case {
    bool velmont;
    int width, height;
    bool warned;
  } cases[] = {
      {true, 1280, 720, true}, {true, 1024, 768, false},  {true, 1023, 768, true},
      {true, 1024, 767, true}, {true, 1920, 1080, false}, {false, 800, 600, false},
      {false, 799, 600, true}, {false, 800, 599, true},   {false, 1024, 768, false},
  };
  for (const Case& c : cases) {
    c.velmont ? Velmont() : Quenda();
    if (c.velmont) InstallEverythingForVelmont();
    run.options.SetSkipCR(!c.velmont);
    p.system.screenWidth = c.width;
    p.system.screenHeight = c.height;
    std::vector<Finding> expected;
    if (c.warned)
      expected.push_back({c.velmont ? kVelmontScreen : kQuendaScreen, ErrorSeverity::Warning});
    EXPECT_EQ(Inspect(), expected) << c.width << "x" << c.height;
  }
}

TEST_F(AppInspectorTest, QuendaReportViewerAndPatch) {
  enum Patched { NoValue, One, Zero, AsString, NoKey };
  struct Case {
    uint32_t major, minor;
    bool crpe32;
    Patched patched;
    bool skipCR;
    std::vector<std::wstring> expected;
  } cases[] = {
      {6, 0, true, NoValue, false, {}},
      {6, 1, true, NoValue, false, {kCrystal85Patch}},
      {6, 1, true, NoKey, false, {kCrystal85Patch}},
      {10, 0, true, NoValue, false, {kCrystal85Patch}},
      {6, 1, true, One, false, {}},
      {6, 1, true, Zero, false, {kCrystal85Patch}},
      {6, 1, true, AsString, false, {kCrystal85Patch}},
      {6, 1, false, NoValue, false, {kCrystal85Missing}},
      {6, 1, false, One, false, {kCrystal85Missing}},
      {5, 1, false, NoValue, false, {kCrystal85Missing}},
      {6, 1, false, NoValue, true, {}},
      {6, 1, true, NoValue, true, {}},
  };
  Quenda();
  for (const Case& c : cases) {
    Workstation t(run.options);
    t.SetVersion(c.major, c.minor);
    t.run.options.SetSkipCR(c.skipCR);
    if (c.crpe32) t.p.files.AddFile(kCrpe32, "MZ");
    if (c.patched == NoValue)
      t.p.registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"OrvexAddress", L"srv01",
                             RegView::Reg64);
    if (c.patched == One)
      t.p.registry.SetDword(RegRoot::CurrentUser, kLauncherKey, L"Crystal85Patched", 1,
                            RegView::Reg64);
    if (c.patched == Zero)
      t.p.registry.SetDword(RegRoot::CurrentUser, kLauncherKey, L"Crystal85Patched", 0,
                            RegView::Reg64);
    if (c.patched == AsString)
      t.p.registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"Crystal85Patched", L"1",
                             RegView::Reg64);
    // Quenda checks neither font; their absence must not show.
    std::vector<Finding> expected;
    for (const std::wstring& m : c.expected) expected.push_back({m, ErrorSeverity::Crystal});
    EXPECT_EQ(t.Inspect(), expected) << c.major << "." << c.minor << " crpe32=" << c.crpe32
                                     << " patched=" << c.patched << " skipCR=" << c.skipCR;
  }
}

TEST_F(AppInspectorTest, SkipPCDropsMemoryAndScreenForBothApplications) {
  LackEverything();
  run.options.SetSkipPC(true);
  Velmont();
  EXPECT_EQ(Inspect(), (std::vector<Finding>{{kCrystalXIMissing, ErrorSeverity::Crystal},
                                             {kBarcode, ErrorSeverity::Barcode},
                                             {kBraille, ErrorSeverity::Braille}}));
  Quenda();
  EXPECT_EQ(Inspect(), (std::vector<Finding>{{kCrystal85Missing, ErrorSeverity::Crystal}}));
  run.options.SetSkipPC(false);
  EXPECT_EQ(Inspect(), (std::vector<Finding>{{kCrystal85Missing, ErrorSeverity::Crystal},
                                             {kQuendaMemory, ErrorSeverity::Warning},
                                             {kQuendaScreen, ErrorSeverity::Warning}}));
}

}  // namespace
}  // namespace zl
