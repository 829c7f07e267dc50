// Win32Registry against Wine's real registry. Each test works under its own throwaway key
// (HKCU\Software\ZelkoraTest\<test>, HKLM for the view tests), wiped before and after.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zl::win32 {
namespace {

const std::wstring kBase = L"Software\\ZelkoraTest";

REGSAM Flag(RegView view) {
  return view == RegView::Reg32 ? KEY_WOW64_32KEY : view == RegView::Reg64 ? KEY_WOW64_64KEY : 0;
}

std::wstring TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  return std::wstring(name.begin(), name.end());
}

// Deletes a key and everything below it in one view, with the raw API so the adapter under test
// does not clean up after itself. RegDeleteTreeW and SHDeleteKeyW would do, but not in one view
// on every system.
void Wipe(HKEY root, const std::wstring& key, RegView view) {
  {
    UniqueKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | Flag(view), k.Put()) != ERROR_SUCCESS)
      return;
    std::vector<std::wstring> children;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD n = 256;
      if (::RegEnumKeyExW(k.Get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      children.emplace_back(name, n);
    }
    for (const auto& child : children) Wipe(root, key + L"\\" + child, view);
  }
  using Fn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  auto deleteKeyEx = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"advapi32"), "RegDeleteKeyExW")));
  ASSERT_NE(deleteKeyEx, nullptr);
  deleteKeyEx(root, key.c_str(), Flag(view), 0);
}

void RawSet(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
            const void* data, DWORD bytes, RegView view = RegView::Default) {
  UniqueKey k;
  ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE | Flag(view), nullptr,
                              k.Put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(k.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
            ERROR_SUCCESS);
}

bool Is64BitWindows() {
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  return ::GetFileAttributesW((std::wstring(windows) + L"\\syswow64").c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = kBase + L"\\" + TestName();
    Wipe(HKEY_CURRENT_USER, key_, RegView::Default);
    ASSERT_TRUE(reg_.CreateKey(RegRoot::CurrentUser, key_, RegView::Default));
  }
  void TearDown() override { Wipe(HKEY_CURRENT_USER, key_, RegView::Default); }

  RegValue Read(const std::wstring& name) {
    return reg_.ReadValue(RegRoot::CurrentUser, key_, name, RegView::Default);
  }

  Win32Registry reg_;
  std::wstring key_;
};

// ---------------------------------------------------------------- reading every kind of data

struct StoredValue {
  const char* label;
  DWORD type;
  std::vector<BYTE> data;
  RegKind kind;
  std::wstring text;
  uint32_t dword;
};

std::vector<BYTE> Bytes(const std::wstring& text, bool withNul) {
  const size_t units = text.size() + (withNul ? 1 : 0);
  std::vector<BYTE> b(units * sizeof(wchar_t), 0);
  if (!text.empty()) memcpy(b.data(), text.data(), text.size() * sizeof(wchar_t));
  return b;
}

std::vector<BYTE> WithExtra(std::vector<BYTE> b, std::initializer_list<BYTE> extra) {
  b.insert(b.end(), extra);
  return b;
}

TEST_F(RegistryTest, ReadValueReportsKindAndData) {
  const std::vector<StoredValue> table = {
      {"terminated string", REG_SZ, Bytes(L"C:\\Program Files\\Velmont", true), RegKind::String,
       L"C:\\Program Files\\Velmont", 0},
      {"string stored without terminator", REG_SZ, Bytes(L"no terminator", false), RegKind::String,
       L"no terminator", 0},
      {"string with two terminators", REG_SZ, Bytes(std::wstring(L"two\0", 4), true),
       RegKind::String, L"two", 0},
      {"string with odd byte count", REG_SZ, WithExtra(Bytes(L"odd", false), {0x41}),
       RegKind::String, L"odd", 0},
      {"empty data", REG_SZ, {}, RegKind::String, L"", 0},
      {"expand string stays unexpanded", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\\x", true),
       RegKind::ExpandString, L"%SystemRoot%\\x", 0},
      {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, RegKind::Dword, L"", 0x12345678u},
      {"dword of the wrong size", REG_DWORD, {0x01, 0x02}, RegKind::Unreadable, L"", 0},
      {"binary", REG_BINARY, {1, 2, 3}, RegKind::Other, L"", 0},
      {"multi string", REG_MULTI_SZ, Bytes(std::wstring(L"a\0b\0", 4), true), RegKind::MultiString,
       L"", 0},
      {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, RegKind::Other, L"", 0},
  };
  for (size_t i = 0; i < table.size(); ++i) {
    const StoredValue& row = table[i];
    SCOPED_TRACE(row.label);
    const std::wstring name = L"v" + std::to_wstring(i);
    RawSet(HKEY_CURRENT_USER, key_, name, row.type, row.data.empty() ? nullptr : row.data.data(),
           static_cast<DWORD>(row.data.size()));
    const RegValue v = Read(name);
    EXPECT_EQ(v.kind, row.kind);
    EXPECT_EQ(v.text, row.text);
    EXPECT_EQ(v.dword, row.dword);
  }
}

TEST_F(RegistryTest, MultiStringsEndAtTheEmptyStringOrTheData) {
  struct Row {
    const char* label;
    std::vector<uint8_t> data;
    std::vector<std::wstring> strings;
  };
  const std::vector<Row> table = {
      {"as Windows writes it",
       Bytes(std::wstring(L"srv01\0"
                          L"10.0.0.5\0",
                          15),
             true),
       {L"srv01", L"10.0.0.5"}},
      {"last string without terminator", Bytes(std::wstring(L"a\0bc", 4), false), {L"a", L"bc"}},
      {"an empty string is skipped", Bytes(std::wstring(L"a\0\0b\0", 5), true), {L"a", L"b"}},
      {"an empty string first", Bytes(std::wstring(L"\0a\0", 3), true), {L"a"}},
      {"empty list", Bytes(std::wstring(L"\0", 1), false), {}},
  };
  for (size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].label);
    const std::wstring name = L"m" + std::to_wstring(i);
    RawSet(HKEY_CURRENT_USER, key_, name, REG_MULTI_SZ, table[i].data.data(),
           static_cast<DWORD>(table[i].data.size()));
    const RegValue v = Read(name);
    EXPECT_EQ(v.kind, RegKind::MultiString);
    EXPECT_EQ(v.strings, table[i].strings);
  }
}

TEST_F(RegistryTest, MissingKeyAndMissingValueBothReadAsMissing) {
  RawSet(HKEY_CURRENT_USER, key_, L"present", REG_SZ, L"x", 4);
  struct Row {
    const char* label;
    std::wstring key;
    std::wstring name;
    bool keyExists;
  };
  const Row table[] = {
      {"missing value in an existing key", key_, L"absent", true},
      {"value in a missing key", key_ + L"\\Nowhere", L"present", false},
      {"missing parent", kBase + L"\\NoSuchTest\\Deeper", L"present", false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(reg_.ReadValue(RegRoot::CurrentUser, row.key, row.name, RegView::Default).kind,
              RegKind::Missing);
    EXPECT_EQ(reg_.KeyExists(RegRoot::CurrentUser, row.key, RegView::Default), row.keyExists);
  }
  EXPECT_EQ(Read(L"present").kind, RegKind::String);
}

// ---------------------------------------------------------------- writing

TEST_F(RegistryTest, WritesRoundTripWithTheRightTypeAndTerminator) {
  ASSERT_TRUE(reg_.WriteString(RegRoot::CurrentUser, key_, L"s", L"Velmont 2.1", RegView::Default));
  ASSERT_TRUE(reg_.WriteString(RegRoot::CurrentUser, key_, L"empty", L"", RegView::Default));
  ASSERT_TRUE(reg_.WriteDword(RegRoot::CurrentUser, key_, L"d", 0xFFFFFFFEu, RegView::Default));
  ASSERT_TRUE(
      reg_.WriteString(RegRoot::CurrentUser, key_, L"", L"default value", RegView::Default));

  EXPECT_EQ(Read(L"s").text, L"Velmont 2.1");
  EXPECT_EQ(Read(L"empty").kind, RegKind::String);
  EXPECT_EQ(Read(L"empty").text, L"");
  EXPECT_EQ(Read(L"d").kind, RegKind::Dword);
  EXPECT_EQ(Read(L"d").dword, 0xFFFFFFFEu);
  EXPECT_EQ(Read(L"").text, L"default value");

  // Other programs read what we write: REG_SZ with its terminator counted in the size.
  UniqueKey k;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, k.Put()), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(::RegQueryValueExW(k.Get(), L"s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, (std::wstring(L"Velmont 2.1").size() + 1) * sizeof(wchar_t));
}

TEST_F(RegistryTest, WritesDoNotCreateMissingKeys) {
  const std::wstring missing = key_ + L"\\NotCreated";
  EXPECT_FALSE(reg_.WriteString(RegRoot::CurrentUser, missing, L"s", L"x", RegView::Default));
  EXPECT_FALSE(reg_.WriteDword(RegRoot::CurrentUser, missing, L"d", 1, RegView::Default));
  EXPECT_FALSE(reg_.KeyExists(RegRoot::CurrentUser, missing, RegView::Default));
}

TEST_F(RegistryTest, CreateKeyMakesParentsAndAcceptsExistingKeys) {
  const std::wstring deep = key_ + L"\\A\\B\\C";
  EXPECT_TRUE(reg_.CreateKey(RegRoot::CurrentUser, deep, RegView::Default));
  EXPECT_TRUE(reg_.CreateKey(RegRoot::CurrentUser, deep, RegView::Default));
  EXPECT_TRUE(reg_.KeyExists(RegRoot::CurrentUser, key_ + L"\\A\\B", RegView::Default));
  EXPECT_TRUE(reg_.WriteDword(RegRoot::CurrentUser, deep, L"d", 7, RegView::Default));
}

// ---------------------------------------------------------------- deleting

TEST_F(RegistryTest, DeleteValueIsTrueWhenTheValueIsGone) {
  ASSERT_TRUE(reg_.WriteString(RegRoot::CurrentUser, key_, L"present", L"x", RegView::Default));
  struct Row {
    const char* label;
    std::wstring key;
    std::wstring name;
  };
  const Row table[] = {
      {"existing value", key_, L"present"},
      {"the same value again", key_, L"present"},
      {"never existed", key_, L"absent"},
      {"key missing", key_ + L"\\Nowhere", L"absent"},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    EXPECT_TRUE(reg_.DeleteValue(RegRoot::CurrentUser, row.key, row.name, RegView::Default));
    EXPECT_EQ(reg_.ReadValue(RegRoot::CurrentUser, row.key, row.name, RegView::Default).kind,
              RegKind::Missing);
  }
}

TEST_F(RegistryTest, SubKeysListsDirectChildrenInRegistryOrder) {
  for (const wchar_t* name : {L"Charlie", L"alpha", L"Bravo"})
    ASSERT_TRUE(reg_.CreateKey(RegRoot::CurrentUser, key_ + L"\\" + name, RegView::Default));
  ASSERT_TRUE(
      reg_.CreateKey(RegRoot::CurrentUser, key_ + L"\\alpha\\grandchild", RegView::Default));
  // The registry keeps subkeys sorted without regard to case.
  EXPECT_EQ(reg_.SubKeys(RegRoot::CurrentUser, key_, RegView::Default),
            (std::vector<std::wstring>{L"alpha", L"Bravo", L"Charlie"}));
  EXPECT_TRUE(reg_.SubKeys(RegRoot::CurrentUser, key_ + L"\\Bravo", RegView::Default).empty());
  EXPECT_TRUE(reg_.SubKeys(RegRoot::CurrentUser, key_ + L"\\Nowhere", RegView::Default).empty());
}

TEST_F(RegistryTest, DeleteKeyRemovesOnlyALeafKey) {
  ASSERT_TRUE(reg_.CreateKey(RegRoot::CurrentUser, key_ + L"\\Leaf", RegView::Default));
  ASSERT_TRUE(reg_.CreateKey(RegRoot::CurrentUser, key_ + L"\\Parent\\Child", RegView::Default));
  struct Row {
    const char* label;
    std::wstring key;
    bool deleted;
    bool existsAfter;
  };
  const Row table[] = {
      {"leaf", key_ + L"\\Leaf", true, false},
      {"key with a subkey", key_ + L"\\Parent", false, true},
      {"missing key", key_ + L"\\Nowhere", false, false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(reg_.DeleteKey(RegRoot::CurrentUser, row.key, RegView::Default), row.deleted);
    EXPECT_EQ(reg_.KeyExists(RegRoot::CurrentUser, row.key, RegView::Default), row.existsAfter);
  }
}

// ---------------------------------------------------------------- the two views of HKLM\Software

class RegistryViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Is64BitWindows()) GTEST_SKIP() << "a 32-bit Windows has one view";
    key_ = kBase + L"\\" + TestName();
    for (RegView v : {RegView::Reg32, RegView::Reg64}) Wipe(HKEY_LOCAL_MACHINE, key_, v);
  }
  void TearDown() override {
    for (RegView v : {RegView::Reg32, RegView::Reg64}) Wipe(HKEY_LOCAL_MACHINE, key_, v);
  }

  Win32Registry reg_;
  std::wstring key_;
};

TEST_F(RegistryViewTest, EachViewSeesOnlyItsOwnValues) {
  ASSERT_TRUE(reg_.CreateKey(RegRoot::LocalMachine, key_, RegView::Reg32));
  ASSERT_TRUE(
      reg_.WriteString(RegRoot::LocalMachine, key_, L"only32", L"thirty-two", RegView::Reg32));
  ASSERT_TRUE(reg_.CreateKey(RegRoot::LocalMachine, key_, RegView::Reg64));
  ASSERT_TRUE(
      reg_.WriteString(RegRoot::LocalMachine, key_, L"only64", L"sixty-four", RegView::Reg64));

  struct Row {
    RegView view;
    const wchar_t* name;
    RegKind kind;
  };
  const Row table[] = {
      {RegView::Reg32, L"only32", RegKind::String},
      {RegView::Reg32, L"only64", RegKind::Missing},
      {RegView::Reg64, L"only64", RegKind::String},
      {RegView::Reg64, L"only32", RegKind::Missing},
      {RegView::Default, L"only32", RegKind::String},
      {RegView::Default, L"only64", RegKind::Missing},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(::testing::Message() << "view " << static_cast<int>(row.view) << " value "
                                      << std::string(row.name, row.name + wcslen(row.name)));
    EXPECT_EQ(reg_.ReadValue(RegRoot::LocalMachine, key_, row.name, row.view).kind, row.kind);
  }
  // The 32-bit view is the 64-bit view's Wow6432Node.
  const std::wstring redirected = L"Software\\Wow6432Node\\ZelkoraTest\\" + TestName();
  EXPECT_EQ(reg_.ReadValue(RegRoot::LocalMachine, redirected, L"only32", RegView::Reg64).text,
            L"thirty-two");
}

TEST_F(RegistryViewTest, DeleteKeyAndSubKeysStayInTheirView) {
  for (RegView v : {RegView::Reg32, RegView::Reg64}) {
    ASSERT_TRUE(reg_.CreateKey(RegRoot::LocalMachine, key_ + L"\\Shared", v));
  }
  ASSERT_TRUE(reg_.CreateKey(RegRoot::LocalMachine, key_ + L"\\Only64", RegView::Reg64));
  EXPECT_EQ(reg_.SubKeys(RegRoot::LocalMachine, key_, RegView::Reg32),
            (std::vector<std::wstring>{L"Shared"}));
  EXPECT_EQ(reg_.SubKeys(RegRoot::LocalMachine, key_, RegView::Reg64),
            (std::vector<std::wstring>{L"Only64", L"Shared"}));

  EXPECT_TRUE(reg_.DeleteKey(RegRoot::LocalMachine, key_ + L"\\Shared", RegView::Reg64));
  EXPECT_FALSE(reg_.KeyExists(RegRoot::LocalMachine, key_ + L"\\Shared", RegView::Reg64));
  EXPECT_TRUE(reg_.KeyExists(RegRoot::LocalMachine, key_ + L"\\Shared", RegView::Reg32));
  EXPECT_TRUE(reg_.DeleteKey(RegRoot::LocalMachine, key_ + L"\\Shared", RegView::Default));
  EXPECT_FALSE(reg_.KeyExists(RegRoot::LocalMachine, key_ + L"\\Shared", RegView::Reg32));
}

TEST(RegistryHandles, PredefinedRootsAreNeverOwned) {
  // Closing a predefined root would break every later open relative to it in this process.
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
    EXPECT_FALSE(UniqueKey(root).Valid());
  UniqueKey k;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, k.Put()), ERROR_SUCCESS);
  EXPECT_TRUE(k.Valid());
}

}  // namespace
}  // namespace zl::win32
