// Entering the found server in the user's intranet zone: range entries for addresses (scan up
// to the first gap), domain entries for names (never touching an existing key), and nothing at
// all for text that is not a plain host name or address.

#include <gtest/gtest.h>

#include <algorithm>

#include "discovery/OrvexLocator.h"
#include "model/BGWorker.h"
#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "utils/Text.h"
#include "TestSupport.h"

namespace zl {
namespace {

using fake::FakePlatform;
using test::kZoneMap;

const std::wstring kRanges = kZoneMap + L"\\Ranges";

std::wstring Range(int n) { return kRanges + L"\\Range" + std::to_wstring(n); }

struct ZoneTest : test::FreshRunTest {
  std::vector<std::wstring> keysBefore;
  int writesBefore = 0;

  void SetUp() override { Clean(); }
  // A clean platform, findings list and options, for each row of a table.
  void Clean() {
    Fresh();
    // Every Windows has the zone map; its lists come and go.
    p->registry.CreateKey(RegRoot::CurrentUser, kZoneMap, RegView::Default);
  }
  void SetRange(int n, const std::wstring& address) {
    p->registry.SetString(RegRoot::CurrentUser, Range(n), L":Range", address);
  }
  // The server is found by the probe of a configured address, the way that registers the zone
  // without saving anything.
  void Register(const std::wstring& address) {
    keysBefore = p->registry.AllKeys(RegRoot::CurrentUser);
    writesBefore = p->registry.writes;
    run->options.SetOrvexAddress(address);
    p->network.accepting = {address + L":2879"};
    OrvexLocator::Locate(*run);
    ASSERT_EQ(run->findings.Count(), 0);
    ASSERT_EQ(p->network.probes.size(), 1u);
  }
  std::vector<std::wstring> NewKeys() {
    std::vector<std::wstring> after = p->registry.AllKeys(RegRoot::CurrentUser), out;
    for (const auto& k : after)
      if (std::find(keysBefore.begin(), keysBefore.end(), k) == keysBefore.end()) out.push_back(k);
    return out;
  }
  RegValue Get(const std::wstring& key, const wchar_t* name) {
    return p->registry.Get(RegRoot::CurrentUser, key, name);
  }
  void ExpectEntry(const std::wstring& key, const std::wstring& address) {
    EXPECT_EQ(Get(key, L":Range").kind, RegKind::String) << std::string(key.begin(), key.end());
    EXPECT_EQ(Get(key, L":Range").text, address);
    EXPECT_EQ(Get(key, L"file").kind, RegKind::Dword);
    EXPECT_EQ(Get(key, L"file").dword, 1u);
  }
};

TEST_F(ZoneTest, RangesAreScannedUpToTheFirstGap) {
  struct Case {
    const char* name;
    std::map<int, std::optional<std::wstring>> seeded;  // nullopt: key without ":Range"
    std::wstring address;
    int written;  // 0: nothing written
  };
  const std::vector<Case> cases = {
      {"two others, the third is free", {{1, L"10.0.0.1"}, {2, L"10.0.0.2"}}, L"10.0.0.5", 3},
      {"already the second", {{1, L"10.0.0.1"}, {2, L"10.0.0.5"}}, L"10.0.0.5", 0},
      {"already the first", {{1, L"10.0.0.5"}}, L"10.0.0.5", 0},
      {"the gap is used even when a later entry holds it",
       {{1, L"10.0.0.1"}, {3, L"10.0.0.5"}},
       L"10.0.0.5",
       2},
      {"an entry without :Range counts as another address", {{1, std::nullopt}}, L"10.0.0.5", 2},
      {"whole-text comparison", {{1, L"10.0.0.50"}, {2, L"10.0.0.5 "}}, L"10.0.0.5", 3},
      {"no Ranges key at all", {}, L"10.0.0.5", 1},
      {"name with an address inside is a range with its whole text", {}, L"srv-10.0.0.5", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    for (const auto& [n, value] : c.seeded) {
      if (value)
        SetRange(n, *value);
      else
        p->registry.CreateKey(RegRoot::CurrentUser, Range(n), RegView::Default);
    }
    Register(c.address);

    std::vector<std::wstring> expected;
    if (c.seeded.empty()) expected.push_back(kRanges);
    if (c.written) expected.push_back(Range(c.written));
    EXPECT_EQ(NewKeys(), expected);
    EXPECT_EQ(p->registry.writes - writesBefore, c.written ? 2 : 0);
    if (c.written) ExpectEntry(Range(c.written), c.address);
    // Existing entries keep what they held.
    for (const auto& [n, value] : c.seeded) {
      RegValue v = Get(Range(n), L":Range");
      EXPECT_EQ(v.kind, value ? RegKind::String : RegKind::Missing);
      if (value) {
        EXPECT_EQ(v.text, *value);
      }
    }
  }
}

TEST_F(ZoneTest, ARangeValueOfAnotherTypeIsAnError) {
  p->registry.SetDword(RegRoot::CurrentUser, Range(1), L":Range", 7);
  run->options.SetOrvexAddress(L"10.0.0.5");
  p->network.accepting = {L"10.0.0.5:2879"};
  try {
    OrvexLocator::Locate(*run);
    FAIL() << "no error";
  } catch (const LauncherError& e) {
    EXPECT_EQ(e.Message(), L"Invalid data type for ':Range'");
  }
  EXPECT_FALSE(p->registry.HasKey(RegRoot::CurrentUser, Range(2)));
}

TEST_F(ZoneTest, ARangesKeyThatCannotBeOpenedIsSkippedSilently) {
  p->registry.DenyWrite(RegRoot::CurrentUser, kRanges);
  Register(L"10.0.0.5");
  EXPECT_TRUE(NewKeys().empty());
}

TEST_F(ZoneTest, HostNamesGoToDomainsAndESCDomains) {
  const std::wstring domains = kZoneMap + L"\\Domains\\", esc = kZoneMap + L"\\ESCDomains\\";
  struct Case {
    const char* name;
    std::wstring address;
    std::function<void(fake::FakeRegistry&)> seed;
    std::vector<std::wstring> created;
    int writes;
  };
  const std::vector<Case> cases = {
      {"a new name, lower-cased",
       L"SRV01",
       nullptr,
       {kZoneMap + L"\\Domains", domains + L"srv01", kZoneMap + L"\\ESCDomains", esc + L"srv01"},
       2},
      {"a dotted name is one key, not a domain tree",
       L"srv01.Corp.local",
       nullptr,
       {kZoneMap + L"\\Domains", domains + L"srv01.corp.local", kZoneMap + L"\\ESCDomains",
        esc + L"srv01.corp.local"},
       2},
      {"an existing empty Domains key stays empty",
       L"srv01",
       [&](fake::FakeRegistry& r) {
         r.CreateKey(RegRoot::CurrentUser, domains + L"srv01", RegView::Default);
       },
       {kZoneMap + L"\\ESCDomains", esc + L"srv01"},
       1},
      {"an existing entry for another zone is left alone",
       L"srv01",
       [&](fake::FakeRegistry& r) {
         r.SetDword(RegRoot::CurrentUser, domains + L"srv01", L"file", 2);
         r.SetDword(RegRoot::CurrentUser, esc + L"srv01", L"file", 4);
       },
       {},
       0},
      {"a list that cannot be written is skipped",
       L"srv01",
       [&](fake::FakeRegistry& r) { r.DenyWrite(RegRoot::CurrentUser, domains + L"srv01"); },
       {kZoneMap + L"\\ESCDomains", esc + L"srv01"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    std::map<std::wstring, RegValue> seeded;
    if (c.seed) c.seed(p->registry);
    for (const auto& k : p->registry.AllKeys(RegRoot::CurrentUser)) seeded[k] = Get(k, L"file");
    Register(c.address);

    EXPECT_EQ(NewKeys(), c.created);
    EXPECT_EQ(p->registry.writes - writesBefore, c.writes);
    for (const auto& k : c.created) {
      if (k.find(LowerAscii(c.address)) == std::wstring::npos) continue;
      EXPECT_EQ(Get(k, L"file").kind, RegKind::Dword);
      EXPECT_EQ(Get(k, L"file").dword, 1u);
    }
    for (const auto& [k, v] : seeded) {
      EXPECT_EQ(Get(k, L"file").kind, v.kind);
      EXPECT_EQ(Get(k, L"file").dword, v.dword);
    }
  }
}

TEST_F(ZoneTest, ASecondRunWritesNothing) {
  for (const wchar_t* address : {L"SRV01", L"10.0.0.5"}) {
    Clean();
    Register(address);
    ASSERT_GT(p->registry.writes, 0);
    run->findings = LaunchErrorList();
    p->network.probes.clear();
    Register(address);
    EXPECT_TRUE(NewKeys().empty());
    EXPECT_EQ(p->registry.writes, writesBefore);
  }
}

TEST_F(ZoneTest, ASavedAddressThatIsNotAPlainNameIsNeitherProbedNorRegistered) {
  const std::vector<std::wstring> addresses = {
      L"..\\..\\Evil",
      L"srv01\\Domains",
      L"10.0.0.5\\x",
      L"srv 01",
      L"\"srv01\"",
      L"srv01;x",
      L".",
      L"..",
      L"-srv01",
      std::wstring(254, L'a'),
      L"caf\u00e9",
      L"10.0.0.5 srv01",
  };
  for (const auto& address : addresses) {
    SCOPED_TRACE(std::string(address.begin(), address.end()));
    Clean();
    SetRange(1, L"10.0.0.1");
    p->registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"OrvexAddress", address,
                          RegView::Reg64);
    run->options.Load(p->registry, p->system, p->system.CommandLine());
    EXPECT_EQ(run->options.OrvexAddress(), L"");
    keysBefore = p->registry.AllKeys(RegRoot::CurrentUser);
    OrvexLocator::Locate(*run);
    EXPECT_TRUE(p->network.probes.empty());
    for (const auto& k : NewKeys())
      EXPECT_EQ(k.find(L"ZoneMap"), std::wstring::npos) << std::string(k.begin(), k.end());
  }
}

TEST_F(ZoneTest, NothingIsWrittenForAnEmptyOrUnsafeServerFromOtherWays) {
  // A reverse lookup that answers an empty or unsafe name counts as no answer: the address
  // stays, is probed and registered as a range, and no key is named after the answer.
  for (const wchar_t* answer : {L"", L"srv 09", L"..\\Evil"}) {
    Clean();
    run->options.SetOrvexAddress(L"10.0.0.9");
    p->network.hostNames = {{L"10.0.0.9", answer}};
    p->network.accepting = {L"10.0.0.9:2879"};
    keysBefore = p->registry.AllKeys(RegRoot::CurrentUser);
    OrvexLocator::Locate(*run);
    EXPECT_EQ(run->options.OrvexAddress(), L"10.0.0.9");
    EXPECT_EQ(run->findings.Count(), 0);
    for (const auto& key : NewKeys()) EXPECT_NE(key.find(L"\\Ranges"), std::wstring::npos);
  }

  // A saved location on a server whose name holds a blank is no saved location.
  Clean();
  const std::wstring app = L"\\\\my server\\Zelkora$\\Velmont\\Velmont.exe";
  p->files.AddFile(app, "MZ");
  p->registry.SetString(RegRoot::CurrentUser, kLauncherKey, L"AppLocation", app, RegView::Reg64);
  run->options.Load(p->registry, p->system, p->system.CommandLine());
  EXPECT_EQ(run->options.AppLocation(), L"");
  keysBefore = p->registry.AllKeys(RegRoot::CurrentUser);
  OrvexLocator::Locate(*run);
  EXPECT_EQ(run->options.OrvexAddress(), L"");
  for (const auto& k : NewKeys())
    EXPECT_EQ(k.find(L"ZoneMap"), std::wstring::npos) << std::string(k.begin(), k.end());
}

}  // namespace
}  // namespace zl
