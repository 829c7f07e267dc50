// Findings list and launcher options: precedence of the registry roots, wrong types, the
// command-line rule, the application type and what Save writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "model/LaunchError.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "utils/Text.h"

namespace zl {
namespace {

using fake::FakePlatform;

// Loads as the launcher does: from q's registry, with q's own command line.
void LoadFrom(FakePlatform& q, LauncherOptions& options) {
  options.Load(q.registry, q.system, q.system.CommandLine());
}

TEST(Findings, OnlyCriticalMakesTheListFatalAndItStaysFatal) {
  for (ErrorSeverity s : {ErrorSeverity::Warning, ErrorSeverity::Crystal, ErrorSeverity::Barcode,
                          ErrorSeverity::Braille}) {
    LaunchErrorList list;
    AddFinding(list, L"x", s);
    EXPECT_FALSE(list.IsFatal()) << static_cast<int>(s);
  }
  LaunchErrorList list;
  auto critical = std::make_shared<LaunchError>(L"c", ErrorSeverity::Critical);
  list.AddError(critical);
  EXPECT_TRUE(list.IsFatal());
  list.Remove(critical.get());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.IsFatal());
}

TEST(Findings, PlainAddLeavesFatalAloneAndRemoveTakesFirstOccurrenceOnly) {
  LaunchErrorList list;
  auto a = std::make_shared<LaunchError>(L"a", ErrorSeverity::Critical);
  auto b = std::make_shared<LaunchError>(L"b", ErrorSeverity::Warning);
  list.Add(a);
  EXPECT_FALSE(list.IsFatal());
  list.Add(b);
  list.Add(a);
  list.Remove(a.get());
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0), b.get());
  EXPECT_EQ(list.Items(1), a.get());
  LaunchError other(L"o", ErrorSeverity::Warning);
  list.Remove(&other);
  EXPECT_EQ(list.Count(), 2);
}

TEST(CommandLineRule, SplitsAsTheRuntimeDoes) {
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> args;
  } cases[] = {
      {L"launcher.exe", {L"launcher.exe"}},
      {L"\"C:\\Program Files\\Z\\launcher.exe\" -a \"b c\"",
       {L"C:\\Program Files\\Z\\launcher.exe", L"-a", L"b c"}},
      {L"x  \t -a", {L"x", L"-a"}},
      {L"x \"\" -a \"\"", {L"x", L"-a"}},  // empty pairs before an argument are skipped
      {L"x a\"b c\"d", {L"x", L"ab cd"}},  // quotes inside an argument group blanks
      {L"x \"unterminated arg", {L"x", L"unterminated arg"}},
      {L"x a\\\"b", {L"x", L"a\\b"}},         // no escape character
      {L"x \x01y\x1fz", {L"x", L"y", L"z"}},  // codes 1 to 32 separate
      {L"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

struct OptionsTest : ::testing::Test {
  FakePlatform p;
  LauncherOptions o;
  void SetUp() override { p.registry.wow64 = true; }
  void Machine(const wchar_t* name, RegValue v) {
    p.registry.Set(RegRoot::LocalMachine, kLauncherKey, name, v, RegView::Reg64);
  }
  void User(const wchar_t* name, RegValue v) {
    p.registry.Set(RegRoot::CurrentUser, kLauncherKey, name, v, RegView::Reg64);
  }
  static RegValue Str(const wchar_t* s) { return {RegKind::String, s, 0}; }
  static RegValue Dw(uint32_t d) { return {RegKind::Dword, L"", d}; }
};

TEST_F(OptionsTest, NothingConfiguredKeepsDefaults) {
  LoadFrom(p, o);
  EXPECT_EQ(o.OrvexAddress(), L"");
  EXPECT_EQ(o.AppLocation(), L"");
  EXPECT_FALSE(o.SkipCR());
  EXPECT_FALSE(o.SkipPC());
  EXPECT_EQ(o.PortOffset(), 0);
  EXPECT_EQ(o.ExtraOptions(), L"");
  EXPECT_TRUE(o.IsUnknown());
}

TEST_F(OptionsTest, UserValuesOverrideMachineValuesOneByOne) {
  Machine(L"PortOffset", Dw(5));
  Machine(L"SkipPC", Dw(1));
  Machine(L"OrvexAddress", Str(L"machine-srv"));
  User(L"PortOffset", Dw(7));
  User(L"AppLocation", {RegKind::ExpandString, L"%SHARE%\\Quenda\\Quenda.exe", 0});
  LoadFrom(p, o);
  EXPECT_EQ(o.PortOffset(), 7);
  EXPECT_TRUE(o.SkipPC());
  EXPECT_EQ(o.OrvexAddress(), L"machine-srv");
  EXPECT_EQ(o.AppLocation(), L"%SHARE%\\Quenda\\Quenda.exe");  // not expanded
  EXPECT_TRUE(o.IsQuenda());
}

TEST_F(OptionsTest, AServerThatIsNoPlainNameCountsAsNotSet) {
  struct Case {
    const wchar_t* address;
    const wchar_t* location;
    bool kept;
  };
  const std::vector<Case> cases = {
      {L"srv01", L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe", true},
      {L"10.0.0.5", L"S:\\Velmont\\Velmont.exe", true},  // a drive letter has no server part
      {L"srv-01.corp_x", L"C:\\Apps\\Quenda.exe", true},
      {L".", L"\\\\.\\zelkora$\\Velmont\\Velmont.exe", false},
      {L"..", L"\\\\..\\zelkora$\\Velmont\\Velmont.exe", false},
      {L"-srv01", L"\\\\-srv01\\zelkora$\\Velmont\\Velmont.exe", false},
      {L"srv 01", L"\\\\srv 01\\zelkora$\\Velmont\\Velmont.exe", false},
      {L"..\\Evil", L"\\\\\\zelkora$\\Velmont\\Velmont.exe", false},  // empty server part
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.registry.wow64 = true;
    // The machine's values stand when the user's fail; the user's values stay in the registry.
    fresh.registry.Set(RegRoot::LocalMachine, kLauncherKey, L"OrvexAddress", Str(L"machine"),
                       RegView::Reg64);
    fresh.registry.Set(RegRoot::CurrentUser, kLauncherKey, L"OrvexAddress", Str(c.address),
                       RegView::Reg64);
    fresh.registry.Set(RegRoot::CurrentUser, kLauncherKey, L"AppLocation", Str(c.location),
                       RegView::Reg64);
    LauncherOptions options;
    LoadFrom(fresh, options);
    EXPECT_EQ(options.OrvexAddress(), c.kept ? c.address : L"machine") << c.address;
    EXPECT_EQ(options.AppLocation(), c.kept ? c.location : L"") << c.location;
    EXPECT_EQ(
        fresh.registry.ReadValue(RegRoot::CurrentUser, kLauncherKey, L"AppLocation", RegView::Reg64)
            .text,
        c.location);
  }
}

TEST_F(OptionsTest, DownloadServerMachineFirstOnlyHttpUrlsNoTrailingSlash) {
  LoadFrom(p, o);
  EXPECT_EQ(o.DownloadServer(), kDefaultDownloadServer);
  struct Case {
    const wchar_t* machine;  // nullptr: not set
    const wchar_t* user;
    const wchar_t* expected;
  };
  const std::vector<Case> cases = {
      // What the user's value names is started elevated: the machine's wins.
      {L"http://machine.example", L"https://user.example:8443/", L"http://machine.example"},
      {nullptr, L"https://user.example:8443/", L"https://user.example:8443"},
      {L"HTTPS://Machine.example/", nullptr, L"HTTPS://Machine.example"},
      // Anything but an http or https URL counts as not set.
      {L"file://\\\\srv\\x", L"http://user.example", L"http://user.example"},
      {L"ftp://machine.example", nullptr, kDefaultDownloadServer},
      {L"machine.example", L"http:///x", kDefaultDownloadServer},
      {L"", L"", kDefaultDownloadServer},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.registry.wow64 = true;
    if (c.machine)
      fresh.registry.Set(RegRoot::LocalMachine, kLauncherKey, L"DownloadServer", Str(c.machine),
                         RegView::Reg64);
    if (c.user)
      fresh.registry.Set(RegRoot::CurrentUser, kLauncherKey, L"DownloadServer", Str(c.user),
                         RegView::Reg64);
    LauncherOptions options;
    LoadFrom(fresh, options);
    EXPECT_EQ(options.DownloadServer(), c.expected)
        << (c.machine ? c.machine : L"-") << " / " << (c.user ? c.user : L"-");
  }
  User(L"DownloadServer", Dw(1));
  LauncherOptions wrong;
  EXPECT_THROW(LoadFrom(p, wrong), LauncherError);
}

TEST_F(OptionsTest, InstallerAndServerPolicyIsTheMachines) {
  User(L"RequireInstallerHashes", Dw(1));
  User(L"AllowedServers", {RegKind::MultiString, L"", 0, {L"rogue"}});
  LoadFrom(p, o);
  EXPECT_FALSE(o.RequireInstallerHashes());
  EXPECT_TRUE(o.AllowedServers().empty());
  EXPECT_TRUE(o.IsServerAllowed(L"anything"));

  Machine(L"RequireInstallerHashes", Dw(2));
  Machine(L"AllowedServers", {RegKind::MultiString, L"", 0, {L" SRV01 ", L"", L"10.0.0.5"}});
  LauncherOptions machine;
  LoadFrom(p, machine);
  EXPECT_TRUE(machine.RequireInstallerHashes());
  EXPECT_EQ(machine.AllowedServers(), (std::vector<std::wstring>{L"SRV01", L"10.0.0.5"}));
  EXPECT_TRUE(machine.IsServerAllowed(L"srv01"));
  EXPECT_TRUE(machine.IsServerAllowed(L"10.0.0.5"));
  EXPECT_FALSE(machine.IsServerAllowed(L"srv02"));
  EXPECT_FALSE(machine.IsServerAllowed(L"srv01.corp.local"));

  Machine(L"AllowedServers", Str(L"srv01"));  // a list is a REG_MULTI_SZ
  LauncherOptions wrong;
  EXPECT_THROW(LoadFrom(p, wrong), LauncherError);
}

TEST_F(OptionsTest, AMachineServerListAllowsExactlyItsNamesAndOneThatNamesNoneAllowsNone) {
  struct Case {
    const char* name;
    std::optional<std::vector<std::wstring>> machine;  // nullopt: no value
    std::vector<std::wstring> want;
    bool anyServer;
  };
  const std::vector<Case> cases = {
      {"no value: any server", std::nullopt, {}, true},
      {"a value without strings", std::vector<std::wstring>{}, {}, false},
      {"only empty strings and blanks", std::vector<std::wstring>{L"", L" ", L"\t \t"}, {}, false},
      {"empty strings before, between and after names are skipped",
       std::vector<std::wstring>{L"", L" srv01\t", L"", L"10.0.0.5", L""},
       {L"srv01", L"10.0.0.5"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fresh;
    // A user's list never counts, whatever the machine's says.
    fresh.registry.Set(RegRoot::CurrentUser, kLauncherKey, L"AllowedServers",
                       {RegKind::MultiString, L"", 0, {L"rogue"}}, RegView::Reg64);
    if (c.machine)
      fresh.registry.Set(RegRoot::LocalMachine, kLauncherKey, L"AllowedServers",
                         {RegKind::MultiString, L"", 0, *c.machine}, RegView::Reg64);
    LauncherOptions options;
    LoadFrom(fresh, options);
    EXPECT_EQ(options.HasServerList(), c.machine.has_value());
    EXPECT_EQ(options.AllowedServers(), c.want);
    for (const wchar_t* server : {L"SRV01", L"10.0.0.5", L"rogue", L""}) {
      const bool listed =
          std::find(c.want.begin(), c.want.end(), LowerAscii(server)) != c.want.end();
      EXPECT_EQ(options.IsServerAllowed(server), c.anyServer || listed) << ToUtf8(server);
    }
  }
}

TEST_F(OptionsTest, TheMachinesLogFileWinsAndOnlyAnAbsolutePathIsTaken) {
  const RegValue none{};
  auto expand = [](const wchar_t* s) { return RegValue{RegKind::ExpandString, s, 0}; };
  struct Case {
    const char* name;
    RegValue machine, user;
    const wchar_t* want;
  };
  const std::vector<Case> cases = {
      {"the machine's over the user's", Str(L"C:\\Logs\\m.log"), Str(L"C:\\Temp\\u.log"),
       L"C:\\Logs\\m.log"},
      {"an empty user value does not silence the machine's", expand(L"%LOGS%\\m.log"), Str(L""),
       L"\\\\srv01\\logs$\\m.log"},
      {"an empty machine value leaves the user's", Str(L""), Str(L"C:\\Temp\\u.log"),
       L"C:\\Temp\\u.log"},
      {"no machine value: the user's", none, expand(L"%LOGS%\\u.log"), L"\\\\srv01\\logs$\\u.log"},
      {"a relative machine value is ignored", Str(L"logs\\m.log"), Str(L"C:\\u.log"), L"C:\\u.log"},
      {"an unknown variable leaves a relative path", expand(L"%NOWHERE%\\m.log"), none, L""},
      {"a relative user value is ignored", none, Str(L"u.log"), L""},
      {"relative to a drive's current folder", none, Str(L"C:u.log"), L""},
      {"a share without a file", none, Str(L"\\\\srv01\\logs$\\"), L""},
      {"a device path", Str(L"\\\\.\\pipe\\zl"), Str(L"C:\\u.log"), L"C:\\u.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fresh;
    fresh.system.environment[L"LOGS"] = L"\\\\srv01\\logs$";
    if (c.machine.kind != RegKind::Missing)
      fresh.registry.Set(RegRoot::LocalMachine, kLauncherKey, L"LogFile", c.machine,
                         RegView::Reg64);
    if (c.user.kind != RegKind::Missing)
      fresh.registry.Set(RegRoot::CurrentUser, kLauncherKey, L"LogFile", c.user, RegView::Reg64);
    LauncherOptions options;
    LoadFrom(fresh, options);
    EXPECT_EQ(options.LogFile(), c.want);
  }
}

TEST_F(OptionsTest, ReadsOnlyThe64BitViewAndASignedOffset) {
  p.registry.Set(RegRoot::LocalMachine, kLauncherKey, L"OrvexAddress", Str(L"wrong-view"),
                 RegView::Reg32);
  User(L"PortOffset", Dw(0xFFFFFFFE));
  LoadFrom(p, o);
  EXPECT_EQ(o.OrvexAddress(), L"");
  EXPECT_EQ(o.PortOffset(), -2);
}

TEST_F(OptionsTest, WrongTypesRaiseTheMessageNamingTheValue) {
  struct Case {
    const wchar_t* name;
    RegValue value;
    const wchar_t* message;
  } cases[] = {
      {L"SkipCR", Str(L"1"), L"Invalid data type for 'SkipCR'"},
      {L"AppLocation", Dw(3), L"Invalid data type for 'AppLocation'"},
      {L"PortOffset", {RegKind::Other, L"", 0}, L"Invalid data type for 'PortOffset'"},
      {L"OrvexAddress", {RegKind::Unreadable, L"", 0}, L"Failed to get data for 'OrvexAddress'"},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.registry.Set(RegRoot::CurrentUser, kLauncherKey, c.name, c.value, RegView::Reg64);
    LauncherOptions options;
    try {
      LoadFrom(fresh, options);
      ADD_FAILURE() << "no error for " << ToUtf8(c.name);
    } catch (const LauncherError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST_F(OptionsTest, CommandLineArgumentsBecomeExtraOptionsWithoutQuotes) {
  p.system.commandLine = L"\"C:\\Apps\\ZelkoraLauncher.exe\"   -a \"b c\"";
  LoadFrom(p, o);
  EXPECT_EQ(o.ExtraOptions(), L"-a b c");
}

TEST_F(OptionsTest, ApplicationTypeIsASubstringTestOnTheLowerCasePath) {
  struct Case {
    const wchar_t* path;
    AppType type;
  } cases[] = {
      {L"\\\\s\\z\\Velmont\\VELMONT.EXE", AppType::Velmont},
      {L"\\\\s\\z\\Quenda\\Quenda.exe", AppType::Quenda},
      {L"\\\\s\\z\\Other\\Other.exe", AppType::Unknown},
      {L"C:\\quenda.exe\\myvelmont.exe", AppType::Velmont},  // velmont wins when both occur
      {L"C:\\quenda.exe\\tool.exe", AppType::Quenda},
      {L"", AppType::Unknown},
  };
  for (const Case& c : cases) {
    o.SetAppLocation(c.path);
    EXPECT_EQ(o.IsVelmont(), c.type == AppType::Velmont) << ToUtf8(c.path);
    EXPECT_EQ(o.IsQuenda(), c.type == AppType::Quenda) << ToUtf8(c.path);
    EXPECT_EQ(o.IsUnknown(), c.type == AppType::Unknown) << ToUtf8(c.path);
  }
  o.SetAppLocation(L"x\\Velmont.exe");
  o.SetIsQuenda(false);
  EXPECT_TRUE(o.IsUnknown());
}

TEST_F(OptionsTest, SaveWritesOnlyTheUserKeyAndDeletesEmptyValues) {
  User(L"OrvexAddress", Str(L"old"));
  Machine(L"OrvexAddress", Str(L"machine"));
  o.SetAppLocation(L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe");
  o.SetOrvexAddress(L"");
  o.SetPortOffset(9);
  o.Save(p.registry);
  auto user = [&](const wchar_t* n) {
    return p.registry.Get(RegRoot::CurrentUser, kLauncherKey, n, RegView::Reg64);
  };
  EXPECT_EQ(user(L"AppLocation").text, L"\\\\srv01\\zelkora$\\Velmont\\Velmont.exe");
  EXPECT_EQ(user(L"OrvexAddress").kind, RegKind::Missing);
  EXPECT_EQ(user(L"PortOffset").kind, RegKind::Missing);
  EXPECT_EQ(
      p.registry.Get(RegRoot::LocalMachine, kLauncherKey, L"AppLocation", RegView::Reg64).kind,
      RegKind::Missing);
  // The next load falls back to the machine-wide address.
  LauncherOptions next;
  LoadFrom(p, next);
  EXPECT_EQ(next.OrvexAddress(), L"machine");
}

TEST_F(OptionsTest, SaveIsSilentWhenTheKeyCannotBeOpenedButAFailedWriteRaises) {
  p.registry.DenyWrite(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64);
  o.SetAppLocation(L"x\\Velmont.exe");
  EXPECT_NO_THROW(o.Save(p.registry));
  EXPECT_EQ(p.registry.writes, 0);

  FakePlatform full;
  full.registry.failValueWrites = true;
  try {
    o.Save(full.registry);
    ADD_FAILURE() << "a failed write must raise";
  } catch (const LauncherError& e) {
    EXPECT_EQ(e.Message(), L"Failed to set data for 'AppLocation'");
  }
}

}  // namespace
}  // namespace zl
