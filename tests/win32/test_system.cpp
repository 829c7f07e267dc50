// Win32System against Wine: version, WOW64, folders, environment, GUIDs, file versions.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <utility>
#include <string>

namespace zl::win32 {
namespace {

bool SameText(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(System, VersionIsAnNtVersion) {
  Win32System sys;
  const OsVersion v = sys.Version();
  ASSERT_TRUE(v.ok);
  EXPECT_GE(v.major, 5u);
  EXPECT_EQ(v.platformId, 2u);
}

TEST(System, IsWow64MatchesTheSysWow64Folder) {
  Win32System sys;
  const bool windows64 = IsFolder(sys.WindowsDirectory() + L"\\syswow64");
  EXPECT_EQ(sys.IsWow64(), windows64 ? Wow64State::Yes : Wow64State::No);
}

TEST(System, FoldersExistAndNest) {
  Win32System sys;
  const std::wstring windows = sys.WindowsDirectory();
  const std::wstring system = sys.SystemDirectory();
  EXPECT_TRUE(IsFolder(windows)) << Narrow(windows);
  EXPECT_TRUE(IsFolder(system)) << Narrow(system);
  EXPECT_TRUE(SameText(system, windows + L"\\system32")) << Narrow(system);
}

TEST(System, GuidTextLayout) {
  GUID known = {0x0123ABCD, 0x4EF5, 0x0a6b, {0x01, 0x02, 0xC3, 0x04, 0x05, 0x06, 0x07, 0xF8}};
  EXPECT_EQ(GuidText(known), L"{0123ABCD-4EF5-0A6B-0102-C304050607F8}");

  Win32System sys;
  std::set<std::wstring> seen;
  for (int i = 0; i < 3; ++i) {
    const std::wstring g = sys.NewGuidText();
    SCOPED_TRACE(Narrow(g));
    ASSERT_EQ(g.size(), 38u);
    for (size_t p = 0; p < g.size(); ++p) {
      if (p == 0)
        EXPECT_EQ(g[p], L'{');
      else if (p == 37)
        EXPECT_EQ(g[p], L'}');
      else if (p == 9 || p == 14 || p == 19 || p == 24)
        EXPECT_EQ(g[p], L'-');
      else
        EXPECT_TRUE((g[p] >= L'0' && g[p] <= L'9') || (g[p] >= L'A' && g[p] <= L'F')) << p;
    }
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 3u);
}

// The .reg text for the database engine goes through this: look-alikes must not turn into the
// quotes and backslashes that end a value.
TEST(System, AnsiTextIsExactOrNothing) {
  Win32System sys;
  EXPECT_EQ(sys.AnsiText(L"\\\\srv01\\Zelkora$"),
            std::optional<std::string>("\\\\srv01\\Zelkora$"));
  EXPECT_EQ(sys.AnsiText(L""), std::optional<std::string>(""));
  for (const wchar_t* lookAlike : {L"a\uFF02b", L"a\uFF3Cb", L"\u4E2D"}) {
    if (::GetACP() == 65001) break;  // a UTF-8 code page holds them all
    EXPECT_EQ(sys.AnsiText(lookAlike), std::nullopt);
  }
}

// WideCharToMultiByte with the parameter checks Windows makes for UTF-8 and Wine 8 leaves out:
// no flags (WC_NO_BEST_FIT_CHARS fails) and no default character or flag for its use.
int WINAPI WindowsWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int length,
                                      LPSTR out, int size, LPCCH defaultChar, LPBOOL usedDefault) {
  if (codePage == CP_UTF8 && flags != 0) {
    ::SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefault != nullptr)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::WideCharToMultiByte(codePage, flags, text, length, out, size, defaultChar, usedDefault);
}

// The same table in a single-byte code page and in UTF-8 ("Beta: use UTF-8" makes 65001 the
// ANSI code page): UTF-8 holds every character, yet an unpaired surrogate is no character at all.
TEST(System, AnsiTextInEachCodePage) {
  using Bytes = std::optional<std::string>;
  const Bytes refused;
  const wchar_t high = 0xD83D, low = 0xDE00;  // U+1F600 as a pair
  struct Row {
    const char* label;
    std::wstring text;
    Bytes in1252, in65001;
  };
  const Row table[] = {
      {"empty", L"", Bytes(""), Bytes("")},
      {"ASCII", L"\\\\srv01\\Zelkora$", Bytes("\\\\srv01\\Zelkora$"), Bytes("\\\\srv01\\Zelkora$")},
      {"e acute", L"\u00E9", Bytes("\xE9"), Bytes("\xC3\xA9")},
      {"full-width quote", L"a\uFF02", refused, Bytes("a\xEF\xBC\x82")},
      {"full-width backslash", L"\uFF3C", refused, Bytes("\xEF\xBC\xBC")},
      {"CJK", L"\u4E2D", refused, Bytes("\xE4\xB8\xAD")},
      {"surrogate pair", std::wstring{high, low}, refused, Bytes("\xF0\x9F\x98\x80")},
      {"lone high surrogate", std::wstring{L'a', high, L'b'}, refused, refused},
      {"high surrogate at the end", std::wstring{L'a', high}, refused, refused},
      {"lone low surrogate", std::wstring{low}, refused, refused},
      {"pair in the wrong order", std::wstring{low, high}, refused, refused},
  };
  const std::pair<const char*, WideCharToMultiByteFn> converters[] = {
      {"Wine's", &::WideCharToMultiByte}, {"with Windows' checks", &WindowsWideCharToMultiByte}};
  for (const auto& converter : converters) {
    SCOPED_TRACE(converter.first);
    for (const Row& row : table) {
      SCOPED_TRACE(row.label);
      EXPECT_EQ(AnsiTextIn(1252, row.text, converter.second), row.in1252);
      EXPECT_EQ(AnsiTextIn(65001, row.text, converter.second), row.in65001);
    }
  }
}

TEST(System, RandomBytesAndTheSharedWindowsFolder) {
  Win32System sys;
  unsigned char first[16] = {}, second[16] = {};
  ASSERT_TRUE(sys.RandomBytes(first, sizeof first));
  ASSERT_TRUE(sys.RandomBytes(second, sizeof second));
  EXPECT_NE(std::memcmp(first, second, sizeof first), 0);

  // The database engine's settings are imported with this folder's registry editor.
  const std::wstring windows = sys.SystemWindowsDirectory();
  ASSERT_FALSE(windows.empty());
  EXPECT_TRUE(IsFolder(windows)) << Narrow(windows);
  // The system folder lies in the shared one, on a terminal server too.
  EXPECT_TRUE(SameText(sys.SystemDirectory(), windows + L"\\system32")) << Narrow(windows);
  EXPECT_NE(::GetFileAttributesW((windows + L"\\regedit.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(System, FileVersionOf) {
  Win32System sys;
  struct Row {
    const char* label;
    std::wstring path;
    bool present;
  };
  const Row table[] = {
      {"system DLL", sys.SystemDirectory() + L"\\kernel32.dll", true},
      {"missing file", sys.WindowsDirectory() + L"\\no-such-file.dll", false},
      {"file without version information", sys.WindowsDirectory() + L"\\win.ini", false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    const std::optional<FileVersion> v = sys.FileVersionOf(row.path);
    EXPECT_EQ(v.has_value(), row.present);
    if (v) {
      EXPECT_GT(v->a, 0);
    }
  }
}

std::wstring ModuleFolder(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring folder(path, n < MAX_PATH ? n : 0);
  const size_t slash = folder.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

// CrystalRuntime.dll (a test tool) lies beside this exe like a DLL planted on the share: by name
// the loader takes it from there, LoadSystemLibrary must not.
TEST(System, LoadSystemLibraryTakesTheSystemFolderNeverTheExesOwn) {
  Win32System sys;
  UniqueModule version = LoadSystemLibrary(L"version.dll");
  ASSERT_TRUE(version.Valid()) << ::GetLastError();
  EXPECT_TRUE(SameText(ModuleFolder(version.Get()), sys.SystemDirectory()))
      << Narrow(ModuleFolder(version.Get()));

  const std::wstring exeFolder = ModuleFolder(nullptr);
  const std::wstring planted = exeFolder + L"\\CrystalRuntime.dll";
  if (::GetFileAttributesW(planted.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "CrystalRuntime.dll not built beside the tests";
  {
    UniqueModule byName(::LoadLibraryW(L"CrystalRuntime.dll"));
    ASSERT_TRUE(byName.Valid()) << "the loader should find the planted DLL by name";
  }
  ::SetLastError(0);
  EXPECT_FALSE(LoadSystemLibrary(L"CrystalRuntime.dll").Valid());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  // A name with a folder in it would lead the load out of the system folder.
  const std::wstring refused[] = {L"", planted, L"..\\version.dll", L"sub/version.dll",
                                  L"C:version.dll"};
  for (const std::wstring& name : refused) {
    SCOPED_TRACE(Narrow(name));
    ::SetLastError(0);
    EXPECT_FALSE(LoadSystemLibrary(name.c_str()).Valid());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(System, EnvironmentOfAnyLength) {
  Win32System sys;
  const std::wstring names[] = {L"ZL_TEST_SHORT", L"ZL_TEST_EDGE", L"ZL_TEST_LONG",
                                L"ZL_TEST_HUGE"};
  const std::wstring values[] = {L"x", std::wstring(255, L'e'), std::wstring(300, L'l'),
                                 std::wstring(20000, L'h')};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(Narrow(names[i]));
    ASSERT_TRUE(::SetEnvironmentVariableW(names[i].c_str(), values[i].c_str()));
    EXPECT_EQ(sys.Environment(names[i]), values[i]);
    ::SetEnvironmentVariableW(names[i].c_str(), nullptr);
    EXPECT_EQ(sys.Environment(names[i]), L"");
  }
}

TEST(System, UserNameCommandLineAndMemory) {
  Win32System sys;
  const std::wstring user = sys.UserName();
  EXPECT_FALSE(user.empty());
  EXPECT_TRUE(SameText(user, sys.Environment(L"USERNAME"))) << Narrow(user);
  EXPECT_NE(sys.CommandLine().find(L"win32_tests"), std::wstring::npos);
  const std::optional<uint64_t> memory = sys.TotalPhysicalMemory();
  ASSERT_TRUE(memory.has_value());
  EXPECT_GT(*memory, 64ull << 20);
  EXPECT_GT(sys.FreeBytesAvailable(L"C:\\").value_or(0), 0);
  EXPECT_FALSE(sys.FreeBytesAvailable(L"C:\\no\\such\\folder\\").has_value());
}

// The runner starts Xvfb with a known screen and passes its size in ZL_EXPECT_SCREEN ("WxH").
TEST(System, ScreenSize) {
  const char* expected = std::getenv("ZL_EXPECT_SCREEN");
  if (expected == nullptr) GTEST_SKIP() << "ZL_EXPECT_SCREEN not set";
  Win32System sys;
  EXPECT_EQ(std::to_string(sys.ScreenWidth()) + "x" + std::to_string(sys.ScreenHeight()),
            std::string(expected));
}

TEST(System, TickCountFollowsSleep) {
  Win32System sys;
  const uint32_t before = sys.TickCount();
  sys.Sleep(100);
  const uint32_t elapsed = sys.TickCount() - before;
  EXPECT_GE(elapsed, 90u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(Platform, Win32PlatformFillsEveryService) {
  const PlatformServices p = Win32Platform();
  EXPECT_NE(p.registry, nullptr);
  EXPECT_NE(p.files, nullptr);
  EXPECT_NE(p.shell, nullptr);
  EXPECT_NE(p.system, nullptr);
  ASSERT_NE(p.ui, nullptr);
  EXPECT_EQ(p.ui, &Win32Ui());
  EXPECT_TRUE(p.ui->IsMainThread());
  // Made once: a second call hands out the same adapters.
  EXPECT_EQ(Win32Platform().registry, p.registry);
}

}  // namespace
}  // namespace zl::win32
