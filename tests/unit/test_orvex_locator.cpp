// Step 2, finding the server: the order of the ways tried (saved location, probe of the
// configured address, broadcast, the user's pick), what is saved and registered on each way,
// and which discovery replies are believed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "discovery/OrvexLocator.h"
#include "model/BGWorker.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "TestSupport.h"
#include "utils/Text.h"

namespace zl {
namespace {

using fake::FakePlatform;
using namespace test;

const std::wstring kNotFound =
    L"The executable location was not found or is not accessible.\n\r\n\r"
    L"Please contact Zelkora Software support at support@zelkora.example, or call "
    L"1-800-555-0142 or 1-800-555-0143.";

// Fresh(): a clean platform, findings list, options and share cache, for each row of a table.
struct LocatorTest : FreshRunTest {
  // Zone entries for the file scheme: "Domains\srv01", "Ranges\Range1=10.0.0.5".
  std::vector<std::wstring> ZoneEntries() {
    const std::wstring zoneMap = kZoneMap + L"\\";
    std::vector<std::wstring> out;
    for (const auto& key : p->registry.AllKeys(RegRoot::CurrentUser)) {
      if (key.compare(0, zoneMap.size(), zoneMap) != 0) continue;
      RegValue file = p->registry.Get(RegRoot::CurrentUser, key, L"file");
      if (file.kind != RegKind::Dword || file.dword != 1) continue;
      std::wstring entry = key.substr(zoneMap.size());
      RegValue range = p->registry.Get(RegRoot::CurrentUser, key, L":Range");
      if (range.kind == RegKind::String) entry += L"=" + range.text;
      out.push_back(entry);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The saved value, "-" when absent, "(never saved)" without the key.
  std::wstring Saved(const wchar_t* name) {
    if (!p->registry.HasKey(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64))
      return L"(never saved)";
    RegValue v = p->registry.Get(RegRoot::CurrentUser, kLauncherKey, name, RegView::Reg64);
    return v.kind == RegKind::String ? v.text : L"-";
  }
  std::vector<std::wstring> Probes() {
    std::vector<std::wstring> out;
    for (const auto& probe : p->network.probes) {
      EXPECT_EQ(probe.timeoutMs, 2000u);
      out.push_back(probe.host + L":" + std::to_wstring(probe.port));
    }
    return out;
  }
  std::vector<uint16_t> BroadcastPorts() {
    std::vector<uint16_t> out;
    for (const auto& b : p->network.broadcasts) out.push_back(b.first);
    return out;
  }
};

const std::wstring kSrv03App = L"\\\\srv03\\Zelkora$\\Velmont\\Velmont.exe";
const std::wstring kSrv04Pick = L"\\\\srv04\\Zelkora$\\Quenda\\Quenda.exe";

struct LocateCase {
  const char* name;
  // set-up
  std::wstring savedLocation, configured;  // the options as loaded
  int portOffset = 0;
  std::vector<std::wstring> files, accepting;      // files that exist; host:port pairs that accept
  std::vector<std::string> replies;                // datagrams that arrive
  std::map<std::wstring, std::wstring> hostNames;  // reverse lookups
  std::deque<bool> formAnswers;                    // the user's answers
  std::deque<std::optional<std::wstring>> fileAnswers;
  // outcome: options, probes, broadcast ports, windows shown, the critical finding, what is
  // saved (see Saved), zone entries (see ZoneEntries)
  std::wstring wantAddress, wantApp;
  std::vector<std::wstring> wantProbes;
  std::vector<uint16_t> wantBroadcasts;
  size_t wantForms = 0;
  bool wantCritical = false;
  std::wstring wantSavedLocation = L"(never saved)", wantSavedAddress = L"(never saved)";
  std::vector<std::wstring> wantZone;
};

TEST_F(LocatorTest, DecisionTable) {
  const std::wstring other = L"\\\\srv03\\Zelkora$\\Tools\\Other.exe",
                     mapped = L"Z:\\Velmont\\Velmont.exe", srv03 = kSrv03App, pick = kSrv04Pick;
  const std::vector<std::wstring> zone01 = {L"Domains\\srv01", L"ESCDomains\\srv01"},
                                  zone02 = {L"Domains\\srv02", L"ESCDomains\\srv02"},
                                  zone03 = {L"Domains\\srv03", L"ESCDomains\\srv03"};
  const std::string answer01 = "SRV01,<SecurityID>";
  // clang-format off
  const std::vector<LocateCase> cases = {
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "saved share location that exists: server from it, zone, no network, saved";
        c.savedLocation = srv03; c.configured = L"cfg01"; c.files = {srv03};
        c.accepting = {L"cfg01:2879"}; c.replies = {answer01};
        c.wantAddress = L"srv03"; c.wantApp = srv03; c.wantZone = zone03;
        c.wantSavedLocation = srv03; c.wantSavedAddress = L"srv03";
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "saved location on a mapped drive: empty server, no zone";
        c.savedLocation = mapped; c.files = {mapped};
        c.wantApp = mapped; c.wantSavedLocation = mapped; c.wantSavedAddress = L"-";
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "saved location that is not an application: cleared and saved at once, then the "
                 "probe";
        c.savedLocation = other; c.configured = L"srv02"; c.files = {other};
        c.accepting = {L"srv02:2879"};
        c.wantAddress = L"srv02"; c.wantProbes = {L"srv02:2879"}; c.wantZone = zone02;
        c.wantSavedLocation = L"-"; c.wantSavedAddress = L"srv02";
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "saved location that is not an application, silent probe: the broadcast follows";
        c.savedLocation = other; c.configured = L"srv02"; c.replies = {answer01};
        c.wantAddress = L"SRV01"; c.wantProbes = {L"srv02:2879"}; c.wantBroadcasts = {2868};
        c.wantZone = zone01; c.wantSavedLocation = L"-"; c.wantSavedAddress = L"srv02";
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "stale saved location: cleared unsaved, configured address not probed, broadcast";
        c.savedLocation = srv03; c.configured = L"srv02"; c.accepting = {L"srv02:2879"};
        c.replies = {answer01};
        c.wantAddress = L"SRV01"; c.wantBroadcasts = {2868}; c.wantZone = zone01;
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "stale saved location, silent network: the user's pick is taken and saved, no "
                 "zone";
        c.savedLocation = srv03; c.files = {pick}; c.formAnswers = {true}; c.fileAnswers = {pick};
        c.wantAddress = L"srv04"; c.wantApp = pick; c.wantBroadcasts = {2868}; c.wantForms = 1;
        c.wantSavedLocation = pick; c.wantSavedAddress = L"srv04";
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "nothing configured, one server answers: used for this run only";
        c.replies = {answer01};
        c.wantAddress = L"SRV01"; c.wantBroadcasts = {2868}; c.wantZone = zone01;
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "two servers answer: the first datagram decides";
        c.replies = {answer01, "SRV09,<SecurityID>"};
        c.wantAddress = L"SRV01"; c.wantBroadcasts = {2868}; c.wantZone = zone01;
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "configured address reverse-resolves: the probe goes to the short name";
        c.configured = L"192.168.1.20"; c.accepting = {L"SRV02:2879"};
        c.hostNames = {{L"192.168.1.20", L"SRV02.local"}};
        c.wantAddress = L"SRV02"; c.wantProbes = {L"SRV02:2879"}; c.wantZone = zone02;
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "configured address without a name: registered as a range";
        c.configured = L"10.0.0.7"; c.accepting = {L"10.0.0.7:2879"};
        c.wantAddress = L"10.0.0.7"; c.wantProbes = {L"10.0.0.7:2879"};
        c.wantZone = {L"Ranges\\Range1=10.0.0.7"};
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "port offset 10, nothing answers, the user gives up";
        c.configured = L"srv02"; c.portOffset = 10;
        c.wantAddress = L"srv02"; c.wantProbes = {L"srv02:2889"}; c.wantBroadcasts = {2878};
        c.wantForms = 1; c.wantCritical = true;
      }),
      MakeRow<LocateCase>([&](auto& c) {
        c.name = "the user picks a file that is gone by the time it is checked";
        c.formAnswers = {true}; c.fileAnswers = {pick};
        c.wantApp = pick; c.wantBroadcasts = {2868}; c.wantForms = 1; c.wantCritical = true;
      }),
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    run->options.SetAppLocation(c.savedLocation);
    run->options.SetOrvexAddress(c.configured);
    run->options.SetPortOffset(c.portOffset);
    if (c.savedLocation.find(L"Other.exe") != std::wstring::npos) {
      // What Load found: both values in the user's key.
      p->registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"AppLocation", c.savedLocation,
                            RegView::Reg64);
      p->registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"OrvexAddress", c.configured,
                            RegView::Reg64);
    }
    for (const auto& f : c.files) p->files.AddFile(f, "MZ");
    p->network.accepting = c.accepting;
    p->network.replies.assign(c.replies.begin(), c.replies.end());
    p->network.hostNames = c.hostNames;
    p->ui.formAnswers = c.formAnswers;
    p->ui.fileAnswers = c.fileAnswers;

    OrvexLocator::Locate(*run);

    EXPECT_EQ(run->options.OrvexAddress(), c.wantAddress);
    EXPECT_EQ(run->options.AppLocation(), c.wantApp);
    EXPECT_EQ(Probes(), c.wantProbes);
    EXPECT_EQ(BroadcastPorts(), c.wantBroadcasts);
    EXPECT_EQ(p->ui.forms.size(), c.wantForms);
    if (c.wantCritical)
      ExpectOneCritical(run->findings, kNotFound);
    else
      EXPECT_EQ(run->findings.Count(), 0);
    EXPECT_EQ(Saved(L"AppLocation"), c.wantSavedLocation);
    EXPECT_EQ(Saved(L"OrvexAddress"), c.wantSavedAddress);
    EXPECT_EQ(ZoneEntries(), c.wantZone);
  }
}

TEST_F(LocatorTest, TheBroadcastIsOneRequestOfFourteenBytesAndOneBoundedWait) {
  p->network.replies = {"SRV01,<SecurityID>"};
  OrvexLocator::Locate(*run);
  ASSERT_EQ(p->network.broadcasts.size(), 1u);
  EXPECT_EQ(p->network.broadcasts[0].second, std::string("Finding Server"));
  EXPECT_EQ(p->network.broadcasts[0].second.size(), 14u);
  EXPECT_EQ(p->network.receiveTimeouts, std::vector<uint32_t>{2000});
  EXPECT_EQ(p->network.lastMaxBytes, 8192u);
}

TEST_F(LocatorTest, SocketErrorsOfTheBroadcastLeaveLocate) {
  for (bool sendFails : {true, false}) {
    SCOPED_TRACE(sendFails ? "send" : "receive");
    p->network.sendFails = sendFails;
    p->network.receiveFails = !sendFails;
    run->options = LauncherOptions();
    EXPECT_THROW(OrvexLocator::Locate(*run), LauncherError);
    EXPECT_TRUE(p->ui.forms.empty());
    EXPECT_EQ(run->findings.Count(), 0);
  }
}

struct ReplyCase {
  const char* name;
  std::string reply;
  std::wstring server;  // empty: the reply is not believed
};

TEST_F(LocatorTest, DiscoveryReplies) {
  std::string huge(8192, 'a');
  std::string longName = std::string(254, 'b') + ",<SecurityID>";
  std::string longNamePadded = std::string(300, 'c') + ",<SecurityID>" + std::string(7879, 'x');
  std::string slowScan = std::string(8190, 'd') + " ,";
  const std::vector<ReplyCase> cases = {
      {"name and security id", "SRV01,<SecurityID>", L"SRV01"},
      {"the security id decides over the first comma", "alpha,beta,<SecurityID>", L"beta"},
      {"name before the first comma", "srv05,anything else", L"srv05"},
      {"no comma: the whole reply", "SRV07", L"SRV07"},
      {"a blank before the name", "My Server,<SecurityID>", L"Server"},
      {"address reverse-resolved to its short name", "10.0.0.5,x", L"srv01"},
      {"address without a reverse entry", "10.0.0.6,x", L"10.0.0.6"},
      {"longest host name", std::string(253, 'e') + ",", std::wstring(253, L'e')},
      {"comma first", ",<SecurityID>", L""},
      {"empty datagram", "", L""},
      {"blank without comma", "my server", L""},
      {"quotes", "\"srv01\" -x", L""},
      {"backslashes", "..\\..\\evil", L""},
      {"a dot alone would make \\\\.\\zelkora$", ".,<SecurityID>", L""},
      {"two dots", "..,<SecurityID>", L""},
      {"a leading dash reads as an option", "-x,<SecurityID>", L""},
      // A server that sends a C string or a line is still found.
      {"a line", "SRV07\r\n", L"SRV07"},
      {"a C string", std::string("SRV07\0", 6), L"SRV07"},
      {"blanks before the security id", "SRV01 \t,<SecurityID>", L"SRV01"},
      {"a line before the first comma", "srv05\r\n,x", L"srv05"},
      {"junk inside the name stays junk", std::string("SR\0V07", 6), L""},
      {"non-ASCII byte", "caf\xe9", L""},
      {"8192 bytes without comma", huge, L""},
      {"name over 253 characters", longName, L""},
      {"name over 253 in a full-size reply", longNamePadded, L""},
      {"no name next to the last comma of a full-size reply", slowScan, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    p->network.hostNames = {{L"10.0.0.5", L"srv01.corp.local"}};
    p->network.replies = {c.reply};
    auto keysBefore = p->registry.AllKeys(RegRoot::CurrentUser);

    OrvexLocator::Locate(*run);

    EXPECT_EQ(run->options.OrvexAddress(), c.server);
    if (c.server.empty()) {
      // Not a server: the user is asked, and nothing of the reply went anywhere.
      EXPECT_EQ(p->ui.forms.size(), 1u);
      ExpectOneCritical(run->findings, kNotFound);
      EXPECT_EQ(p->registry.AllKeys(RegRoot::CurrentUser), keysBefore);
    } else {
      EXPECT_TRUE(p->ui.forms.empty());
      EXPECT_EQ(run->findings.Count(), 0);
    }
  }
}

// Lets the clock run while each datagram arrives.
struct SlowNetwork : fake::FakeNetwork {
  fake::FakeSystem* sys = nullptr;
  std::deque<uint32_t> delays;
  std::optional<std::string> ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) override {
    auto r = FakeNetwork::ReceiveDatagram(timeoutMs, maxBytes);
    if (r && !delays.empty()) {
      sys->ticks += delays.front();
      delays.pop_front();
    }
    return r;
  }
};

TEST_F(LocatorTest, IgnoredRepliesShareTheOneTwoSecondWait) {
  struct Case {
    const char* name;
    uint32_t startTicks;
    std::deque<uint32_t> delays;
    std::vector<uint32_t> waits;
    std::wstring server;
  };
  const std::vector<Case> cases = {
      {"second reply within the time", 1000, {1500, 100}, {2000, 500}, L"SRV02"},
      {"the time is up after the ignored reply", 1000, {2000}, {2000}, L""},
      {"the tick counter wraps meanwhile", 0xFFFFFF00u, {1900, 10}, {2000, 100}, L"SRV02"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    SlowNetwork net;
    net.sys = &p->system;
    net.delays = c.delays;
    net.replies = {"my server", "SRV02,<SecurityID>"};
    p->system.ticks = c.startTicks;
    // The row's run, with the slow network in place of the fake one.
    PlatformServices services = p->Services();
    services.network = &net;
    LaunchRun slowRun(services);

    OrvexLocator::Locate(slowRun);

    EXPECT_EQ(net.receiveTimeouts, c.waits);
    EXPECT_EQ(slowRun.options.OrvexAddress(), c.server);
    EXPECT_EQ(p->ui.forms.size(), c.server.empty() ? 1u : 0u);
  }
}

TEST_F(LocatorTest, TheAdminsServerListFiltersRepliesWithinTheSameWait) {
  struct Case {
    const char* name;
    std::vector<std::string> replies;
    std::wstring server;  // empty: nothing accepted, the location dialog follows
  };
  const std::vector<Case> cases = {
      {"a rogue first reply is passed over",
       {"ROGUE,<SecurityID>", "srv01,<SecurityID>"},
       L"srv01"},
      {"names compare without letter case", {"SRV01,<SecurityID>"}, L"SRV01"},
      {"a dotted reply counts by its reverse lookup", {"10.0.0.7,<SecurityID>"}, L"srv01"},
      {"a dotted reply counts by its address", {"10.0.0.5,x"}, L"10.0.0.5"},
      // Its reverse name may resolve elsewhere: a listed address is used as sent.
      {"a listed address is used, not its unlisted reverse name", {"10.0.0.6,x"}, L"10.0.0.6"},
      {"a listed address is used, not its listed reverse name", {"10.0.0.8,x"}, L"10.0.0.8"},
      {"a full name is not the listed short one", {"srv01.corp.local,x"}, L""},
      {"only unlisted servers answer", {"ROGUE,x", "10.0.0.9,x"}, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    run->options.SetAllowedServers({L"Srv01", L"10.0.0.5", L"10.0.0.6", L"10.0.0.8"});
    p->network.hostNames = {{L"10.0.0.7", L"srv01.corp.local"},
                            {L"10.0.0.9", L"other"},
                            {L"10.0.0.6", L"elsewhere.corp.local"},
                            {L"10.0.0.8", L"srv01.corp.local"}};
    p->network.replies.assign(c.replies.begin(), c.replies.end());
    OrvexLocator::Locate(*run);
    EXPECT_EQ(run->options.OrvexAddress(), c.server);
    EXPECT_EQ(p->ui.forms.size(), c.server.empty() ? 1u : 0u);
  }
  // The trace says which reply was ignored and why.
  Fresh();
  run->options.SetAllowedServers({L"srv01"});
  p->network.replies = {"ROGUE,x", std::string("\x01,x"), "srv01,x"};
  OrvexLocator::Locate(*run);
  std::wstring trace;
  for (const std::wstring& line : p->system.debugOutput) trace += line;
  for (const wchar_t* want :
       {L"Reply \"ROGUE,x\" ignored: ROGUE is not among the allowed servers\n",
        L"Reply \"\\x01,x\" ignored: it names no server\n",
        L"Reply \"srv01,x\" accepted: server srv01\n"})
    EXPECT_NE(trace.find(want), std::wstring::npos) << ToUtf8(want) << ToUtf8(trace);
  // The configured address is the admin's own and is not filtered.
  Fresh();
  run->options.SetAllowedServers({L"srv01"});
  run->options.SetOrvexAddress(L"srv09");
  p->network.accepting = {L"srv09:2879"};
  OrvexLocator::Locate(*run);
  EXPECT_EQ(run->options.OrvexAddress(), L"srv09");
  EXPECT_EQ(run->findings.Count(), 0);
}

TEST_F(LocatorTest, AServerListThatNamesNoneAcceptsNoReply) {
  run->options.SetAllowedServers({});
  p->network.replies = {"srv01,<SecurityID>"};
  OrvexLocator::Locate(*run);
  EXPECT_EQ(run->options.OrvexAddress(), L"");
  EXPECT_TRUE(p->network.broadcasts.empty());
  EXPECT_EQ(p->ui.forms.size(), 1u);
  const std::vector<std::wstring> want = {
      L"ZelkoraLauncher: Broadcast not sent: the admin's list of allowed servers "
      L"(AllowedServers) names none, so no reply is accepted\n",
      L"ZelkoraLauncher: No server found: the user is asked for the application\n"};
  ASSERT_GE(p->system.debugOutput.size(), 2u);
  EXPECT_EQ(
      std::vector<std::wstring>(p->system.debugOutput.begin(), p->system.debugOutput.begin() + 2),
      want);
}

TEST_F(LocatorTest, AnOffsetThatPutsAPortOutOfRangeTurnsThatWayOff) {
  const std::wstring noProbe = L"ZelkoraLauncher: Probe of srv02 not made: TCP port ",
                     noBroadcast = L"ZelkoraLauncher: Broadcast not sent: UDP port ";
  struct Case {
    const char* name;
    int32_t offset;
    std::vector<std::wstring> probes;
    std::vector<uint16_t> broadcasts;
    std::vector<std::wstring> lines;  // what the trace says instead
  };
  const std::vector<Case> cases = {
      {"the largest offset for both", 62656, {L"srv02:65535"}, {65524}, {}},
      {"TCP one beyond",
       62657,
       {},
       {65525},
       {noProbe + L"65536 (2879 + PortOffset 62657) is out of range (1 to 65535)"}},
      {"the largest offset does not wrap",
       0x7FFFFFFF,
       {},
       {},
       {noProbe + L"2147486526 (2879 + PortOffset 2147483647) is out of range (1 to 65535)",
        noBroadcast + L"2147486515 (2868 + PortOffset 2147483647) is out of range (1 to 65535)"}},
      {"the smallest offset for both", -2867, {L"srv02:12"}, {1}, {}},
      {"UDP port 0",
       -2868,
       {L"srv02:11"},
       {},
       {noBroadcast + L"0 (2868 + PortOffset -2868) is out of range (1 to 65535)"}},
      {"the smallest offset",
       INT32_MIN,
       {},
       {},
       {noProbe + L"-2147480769 (2879 + PortOffset -2147483648) is out of range (1 to 65535)",
        noBroadcast + L"-2147480780 (2868 + PortOffset -2147483648) is out of range (1 to 65535)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    run->options.SetOrvexAddress(L"srv02");
    run->options.SetPortOffset(c.offset);
    OrvexLocator::Locate(*run);
    EXPECT_EQ(Probes(), c.probes);
    EXPECT_EQ(BroadcastPorts(), c.broadcasts);
    // Nothing answered either way: the user is asked, and gives up.
    EXPECT_EQ(p->ui.forms.size(), 1u);
    ExpectOneCritical(run->findings, kNotFound);
    for (const std::wstring& line : c.lines)
      EXPECT_NE(std::find(p->system.debugOutput.begin(), p->system.debugOutput.end(), line + L"\n"),
                p->system.debugOutput.end())
          << ToUtf8(line);
  }
}

TEST(BroadcastDestinations, TheLimitedOneThenEachNetworkOnceInAdapterOrder) {
  const uint32_t limited = 0xFFFFFFFFu, lan = 0xC00002FFu, wifi = 0xC63364FFu;  // .255 of each
  const Ipv4Address lanA{0xC0000205u, 24}, lanB{0xC0000263u, 24}, wifiA{0xC6336407u, 24};
  struct Case {
    const char* name;
    std::vector<NetworkAdapter> adapters;
    std::vector<uint32_t> want;
  } cases[] = {
      {"no adapter table", {}, {limited}},
      {"one adapter", {{true, false, {lanA}}}, {limited, lan}},
      {"two adapters, two addresses on one network, in the system's order",
       {{true, false, {wifiA}}, {true, false, {lanA, lanB}}},
       {limited, wifi, lan}},
      {"an adapter with two networks", {{true, false, {lanA, wifiA}}}, {limited, lan, wifi}},
      {"down, loopback and address-less adapters are skipped",
       {{false, false, {lanA}}, {true, true, {{0x7F000001u, 8}}}, {true, false, {}}},
       {limited}},
      {"/31 and /32 have no broadcast address; /30 has",
       {{true, false, {{0x0A000001u, 31}, {0x0A000101u, 32}, {0x0A000205u, 30}}}},
       {limited, 0x0A000207u}},
      {"a /0 network is the limited broadcast, sent once",
       {{true, false, {{0x0A000001u, 0}}}},
       {limited}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OrvexLocator::BroadcastDestinations(c.adapters), c.want);
  }
}

TEST_F(LocatorTest, AFailedSendSkipsOneDestinationOnlyAndAllFailingEndsTheLaunch) {
  p->network.adapters = {{true, false, {{0xC0000205u, 24}}}, {true, false, {{0xC6336407u, 24}}}};
  p->network.unreachable = {0xC00002FFu};
  p->network.replies = {"srv01,x"};
  OrvexLocator::Locate(*run);
  EXPECT_EQ(p->network.destinations, (std::vector<uint32_t>{0xFFFFFFFFu, 0xC63364FFu}));
  EXPECT_EQ(run->options.OrvexAddress(), L"srv01");

  Fresh();
  p->network.sendFails = true;
  EXPECT_THROW(OrvexLocator::Locate(*run), LauncherError);
}

TEST_F(LocatorTest, ResolveAddress) {
  p->network.addresses = {{L"srv01", L"10.1.2.3"}, {L"lonely", L"169.254.10.1"}};
  struct Case {
    std::wstring value, result;
    size_t lookups;
  };
  const std::vector<Case> cases = {
      {L"srv01", L"10.1.2.3", 1},
      {L"lonely", L"lonely", 1},  // link-local only
      {L"ghost", L"", 1},         // cannot be resolved
      {L"10.1.2.3", L"10.1.2.3", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value.begin(), c.value.end()));
    p->network.lookups.clear();
    EXPECT_EQ(OrvexLocator::ResolveAddress(p->network, c.value), c.result);
    EXPECT_EQ(p->network.lookups.size(), c.lookups);
  }
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

TEST(ResolveHostname, KeepsTheAddressUnlessTheResolverGivesAPlainHostName) {
  fake::FakePlatform p;
  p.network.hostNames = {{L"10.0.0.5", L"srv01.corp.local"},
                         {L"10.0.0.6", L"bad name.corp.local"},
                         {L"10.0.0.7", L"srv07 -evil=1"},
                         {L"10.0.0.8", L".hidden"}};
  struct Case {
    const wchar_t *value, *result;
  } cases[] = {
      {L"10.0.0.5", L"srv01"},   {L"10.0.0.6", L"10.0.0.6"}, {L"10.0.0.7", L"10.0.0.7"},
      {L"10.0.0.8", L".hidden"}, {L"10.0.0.9", L"10.0.0.9"},  // no answer
      {L"srv02", L"srv02"},                                   // a name: no lookup
  };
  for (const Case& c : cases)
    EXPECT_EQ(OrvexLocator::ResolveHostname(p.network, c.value), c.result);
  EXPECT_EQ(p.network.lookups.size(), 5u);
}

}  // namespace
}  // namespace zl
