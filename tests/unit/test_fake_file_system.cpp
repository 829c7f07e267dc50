#include "platform/fake/FakeFileSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "utils/Text.h"

namespace zl {
namespace {

using Change = FakeFileSystem::Change;
using Kind = FakeFileSystem::ChangeKind;

struct Attr {
  bool exists, directory, reparse;
};

void ExpectAttributes(FakeFileSystem& fs, const std::wstring& path, Attr expected) {
  SCOPED_TRACE(ToUtf8(path));
  FileAttributes a = fs.GetAttributes(path);
  EXPECT_EQ(a.exists, expected.exists);
  EXPECT_EQ(a.directory, expected.directory);
  EXPECT_EQ(a.reparsePoint, expected.reparse);
}

std::vector<std::wstring> List(FakeFileSystem& fs, const std::wstring& dir, bool* ok = nullptr) {
  std::vector<std::wstring> names;
  bool listed = fs.ListDirectory(dir, [&](const DirEntry& e) {
    names.push_back(e.name + (e.attributes.directory ? L"\\" : L"") +
                    (e.attributes.reparsePoint ? L"@" : L""));
    return true;
  });
  if (ok) *ok = listed;
  return names;
}

TEST(FakeFileSystemTest, WindowsPathRules) {
  FakeFileSystem fs;
  fs.AddFile(L"C:\\Dir\\File.txt", "x");
  fs.AddDir(L"\\\\srv01\\zelkora$\\Velmont");
  const Attr file{true, false, false}, dir{true, true, false}, none{false, false, false};
  const std::vector<std::pair<std::wstring, Attr>> cases = {
      {L"C:\\dir\\file.TXT", file},
      {L"c:/DIR/file.txt", file},
      {L"C:\\Dir\\.\\sub\\..\\\\File.txt", file},
      {L"C:\\..\\Dir\\File.txt", file},
      {L"C:\\Dir\\", dir},
      {L"C:\\", dir},
      {L"c:", dir},
      {L"C:\\Temp", dir},
      {L"D:\\", none},
      {L"C:\\Dir\\File.txt\\x", none},
      {L"C:\\Missing\\File.txt", none},
      {L"Dir\\File.txt", none},
      {L"C:Dir", none},
      {L"\\Dir\\File.txt", none},
      {L"C:\\Dir\\Fi?e.txt", none},
      {L"\\\\srv01\\zelkora$", dir},
      {L"\\\\SRV01\\ZELKORA$\\velmont\\", dir},
      {L"\\\\srv01", none},
      {L"\\\\srv01\\", none},
      {L"\\\\srv02\\zelkora$", none},
      {L"\\\\srv01\\other", none},
      {L"\\\\?\\C:\\Dir", none},
      {L"", none},
  };
  for (const auto& [path, expected] : cases) ExpectAttributes(fs, path, expected);
}

TEST(FakeFileSystemTest, FileOperationsFollowWin32Results) {
  struct Case {
    const char* label;
    std::function<bool(FakeFileSystem&)> op;
    bool result;
    std::wstring file;  // afterwards: this file holds content (or is missing when nullopt)
    std::optional<std::string> content;
  };
  const std::wstring a = L"C:\\d\\a.txt", b = L"C:\\d\\b.txt";
  const std::vector<Case> cases = {
      {"create", [](auto& fs) { return fs.CreateEmptyFile(L"C:\\d\\new.txt"); }, true,
       L"C:\\d\\new.txt", ""},
      {"create truncates", [&](auto& fs) { return fs.CreateEmptyFile(a); }, true, a, ""},
      {"create, parent missing", [](auto& fs) { return fs.CreateEmptyFile(L"C:\\no\\x"); }, false,
       L"C:\\no\\x", std::nullopt},
      {"create onto folder", [](auto& fs) { return fs.CreateEmptyFile(L"C:\\d"); }, false, a, "A"},
      {"create in read-only", [](auto& fs) { return fs.CreateEmptyFile(L"C:\\ro\\x"); }, false,
       L"C:\\ro\\x", std::nullopt},
      {"delete", [&](auto& fs) { return fs.DeleteFile(a); }, true, a, std::nullopt},
      {"delete missing", [](auto& fs) { return fs.DeleteFile(L"C:\\d\\zz"); }, false, L"C:\\d\\zz",
       std::nullopt},
      {"delete folder", [](auto& fs) { return fs.DeleteFile(L"C:\\d"); }, false, a, "A"},
      {"delete in read-only", [](auto& fs) { return fs.DeleteFile(L"C:\\ro\\r.txt"); }, false,
       L"C:\\ro\\r.txt", "R"},
      {"copy new", [&](auto& fs) { return fs.CopyFile(a, L"C:\\d\\c.txt", true); }, true,
       L"C:\\d\\c.txt", "A"},
      {"copy fail if exists", [&](auto& fs) { return fs.CopyFile(a, b, true); }, false, b, "B"},
      {"copy overwrite", [&](auto& fs) { return fs.CopyFile(a, b, false); }, true, b, "A"},
      {"copy missing source", [&](auto& fs) { return fs.CopyFile(L"C:\\d\\zz", b, false); }, false,
       b, "B"},
      {"copy folder", [&](auto& fs) { return fs.CopyFile(L"C:\\d", L"C:\\e", false); }, false,
       L"C:\\e", std::nullopt},
      {"copy onto itself", [&](auto& fs) { return fs.CopyFile(a, L"c:\\D\\A.TXT", false); }, false,
       a, "A"},
      {"copy into missing", [&](auto& fs) { return fs.CopyFile(a, L"C:\\no\\a", false); }, false,
       L"C:\\no\\a", std::nullopt},
      {"copy into read-only", [&](auto& fs) { return fs.CopyFile(a, L"C:\\ro\\a", false); }, false,
       L"C:\\ro\\a", std::nullopt},
      {"copy onto folder", [&](auto& fs) { return fs.CopyFile(a, L"C:\\ro", false); }, false, a,
       "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FakeFileSystem fs;
    fs.AddFile(a, "A");
    fs.AddFile(b, "B");
    fs.AddFile(L"C:\\ro\\r.txt", "R");
    fs.SetReadOnlyDir(L"C:\\ro", true);
    EXPECT_EQ(c.op(fs), c.result);
    if (c.content) {
      EXPECT_EQ(fs.ReadFileText(c.file), *c.content);
    } else {
      EXPECT_FALSE(fs.Exists(c.file));
    }
    // Only a successful operation leaves a trace in the log.
    EXPECT_EQ(fs.Changes().size(), c.result ? 1u : 0u);
  }
}

TEST(FakeFileSystemTest, CreateDirectoryMakesOneLevel) {
  FakeFileSystem fs;
  fs.AddFile(L"C:\\f", "");
  fs.AddDir(L"C:\\ro");
  fs.SetReadOnlyDir(L"C:\\ro", true);
  fs.AddDir(L"C:\\ro\\sub");  // read-only does not pass to subfolders
  const std::vector<std::pair<std::wstring, bool>> cases = {
      {L"C:\\new", true},        {L"C:\\Temp", true}, {L"C:\\", true},
      {L"C:\\a\\b", false},      {L"C:\\f", false},   {L"C:\\ro\\x", false},
      {L"C:\\ro\\sub\\x", true}, {L"E:\\x", false},   {L"\\\\srv\\share", false},
      {L"rel", false},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(ToUtf8(path));
    EXPECT_EQ(fs.CreateDirectory(path), expected);
    EXPECT_EQ(fs.GetAttributes(path).directory, expected);
  }
  EXPECT_EQ(fs.Changes(), (std::vector<Change>{{Kind::CreateDirectory, L"C:\\new"},
                                               {Kind::CreateDirectory, L"C:\\ro\\sub\\x"}}));
}

TEST(FakeFileSystemTest, StreamsReadAndWrite) {
  FakeFileSystem fs;
  fs.AddFile(L"C:\\in.bin", std::string("0123456789", 10));
  auto in = fs.OpenRead(L"C:\\IN.BIN");
  EXPECT_EQ(in->Size(), 10u);
  char buf[10] = {};
  in->ReadAt(3, buf, 4);
  EXPECT_EQ(std::string(buf, 4), "3456");
  in->ReadAt(10, buf, 0);
  EXPECT_THROW(in->ReadAt(8, buf, 3), LauncherError);
  EXPECT_THROW(in->ReadAt(11, buf, 0), LauncherError);
  EXPECT_THROW(in->ReadAt(UINT64_MAX, buf, 2), LauncherError);

  auto out = fs.CreateWrite(L"C:\\in.bin");  // truncates
  EXPECT_EQ(fs.ReadFileText(L"C:\\in.bin"), "");
  out->Write("ab", 2);
  out->Write("cd", 2);
  EXPECT_EQ(fs.ReadFileText(L"C:\\in.bin"), "abcd");  // visible before Close
  // No sharing while it is open for writing.
  EXPECT_THROW(fs.OpenRead(L"C:\\in.bin"), LauncherError);
  EXPECT_THROW(fs.CreateWrite(L"C:\\in.bin"), LauncherError);
  EXPECT_FALSE(fs.DeleteFile(L"C:\\in.bin"));
  EXPECT_FALSE(fs.CopyFile(L"C:\\in.bin", L"C:\\copy.bin", false));
  out->Close();
  EXPECT_THROW(out->Write("x", 1), LauncherError);
  EXPECT_EQ(fs.OpenRead(L"C:\\in.bin")->Size(), 4u);
  // The earlier reader keeps what it opened.
  in->ReadAt(0, buf, 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");

  // Dropping an unclosed stream releases the file too.
  fs.CreateWrite(L"C:\\dropped.bin")->Write("z", 1);
  EXPECT_TRUE(fs.DeleteFile(L"C:\\dropped.bin"));

  for (const wchar_t* bad : {L"C:\\missing.bin", L"C:\\Temp", L"C:\\no\\x.bin"}) {
    SCOPED_TRACE(ToUtf8(bad));
    EXPECT_THROW(fs.OpenRead(bad), LauncherError);
  }
  for (const wchar_t* bad : {L"C:\\Temp", L"C:\\no\\x.bin", L"rel.bin"}) {
    SCOPED_TRACE(ToUtf8(bad));
    EXPECT_THROW(fs.CreateWrite(bad), LauncherError);
  }
  fs.FailNextCreateWrite();
  EXPECT_THROW(fs.CreateWrite(L"C:\\a.bin"), LauncherError);
  EXPECT_NO_THROW(fs.CreateWrite(L"C:\\a.bin"));
  EXPECT_FALSE(fs.Exists(L"C:\\copy.bin"));
}

TEST(FakeFileSystemTest, ListingsAndLinks) {
  FakeFileSystem fs;
  fs.AddFile(L"C:\\L\\zeta.txt", "");
  fs.AddDir(L"C:\\L\\Alpha");
  fs.AddFile(L"C:\\L\\beta.TXT", "");
  fs.AddReparseDir(L"C:\\L\\loop", L"C:\\L");
  fs.AddReparseDir(L"C:\\self", L"C:\\self");
  fs.AddDir(L"C:\\hidden");
  fs.SetUnlistable(L"C:\\hidden");

  EXPECT_EQ(List(fs, L"c:\\l"),
            (std::vector<std::wstring>{L"zeta.txt", L"Alpha\\", L"beta.TXT", L"loop\\@"}));
  EXPECT_EQ(List(fs, L"C:\\L\\loop\\loop"), List(fs, L"C:\\L"));
  ExpectAttributes(fs, L"C:\\L\\loop", {true, true, true});
  ExpectAttributes(fs, L"C:\\L\\loop\\loop\\loop\\Alpha", {true, true, false});
  ExpectAttributes(fs, L"C:\\self", {true, true, true});
  ExpectAttributes(fs, L"C:\\self\\x", {false, false, false});
  // Files made through a link land in its target.
  EXPECT_TRUE(fs.CreateEmptyFile(L"C:\\L\\loop\\via-link.txt"));
  EXPECT_TRUE(fs.Exists(L"C:\\L\\via-link.txt"));

  for (const wchar_t* dir : {L"C:\\hidden", L"C:\\missing", L"C:\\L\\zeta.txt", L"C:\\self"}) {
    SCOPED_TRACE(ToUtf8(dir));
    bool ok = true;
    EXPECT_TRUE(List(fs, dir, &ok).empty());
    EXPECT_FALSE(ok);
  }
  bool ok = false;
  EXPECT_TRUE(List(fs, L"C:\\L\\Alpha", &ok).empty());
  EXPECT_TRUE(ok);

  int visited = 0;
  EXPECT_TRUE(fs.ListDirectory(L"C:\\L", [&](const DirEntry&) { return ++visited < 2; }));
  EXPECT_EQ(visited, 2);
  // The visitor may call back into the file system.
  EXPECT_TRUE(fs.ListDirectory(L"C:\\L",
                               [&](const DirEntry& e) { return fs.Exists(L"C:\\L\\" + e.name); }));
}

TEST(FakeFileSystemTest, TempFiles) {
  FakeFileSystem fs;
  EXPECT_EQ(fs.TempPath(), L"C:\\Temp\\");
  fs.AddFile(L"C:\\Temp\\tmp0002.tmp", "taken");
  EXPECT_EQ(fs.TempFileName(fs.TempPath(), L"tmp"), L"C:\\Temp\\tmp0001.tmp");
  // The next number comes from the counter; a name in use is skipped.
  EXPECT_EQ(fs.TempFileName(L"C:\\Temp", L"tmpzz"), L"C:\\Temp\\tmp0003.tmp");
  EXPECT_EQ(fs.TempFileName(L"C:\\Temp", L"zelkora"), L"C:\\Temp\\zel0004.tmp");
  EXPECT_EQ(fs.ReadFileText(L"C:\\Temp\\tmp0002.tmp"), "taken");
  EXPECT_TRUE(fs.Exists(L"C:\\Temp\\zel0004.tmp"));
  EXPECT_THROW(fs.TempFileName(L"C:\\none", L"tmp"), LauncherError);
  fs.SetReadOnlyDir(L"C:\\Temp", true);
  EXPECT_THROW(fs.TempFileName(L"C:\\Temp", L"tmp"), LauncherError);
  fs.SetTempPath(L"D:\\T\\");
  EXPECT_EQ(fs.TempPath(), L"D:\\T\\");
  EXPECT_EQ(fs.Changes(), (std::vector<Change>{{Kind::CreateFile, L"C:\\Temp\\tmp0001.tmp"},
                                               {Kind::CreateFile, L"C:\\Temp\\tmp0003.tmp"},
                                               {Kind::CreateFile, L"C:\\Temp\\zel0004.tmp"}}));
}

TEST(FakeFileSystemTest, ParallelWritersEachKeepTheirFile) {
  FakeFileSystem fs;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&fs, t] {
      for (int i = 0; i < 200; ++i) {
        std::wstring path = L"C:\\Temp\\t" + std::to_wstring(t) + L"_" + std::to_wstring(i);
        auto out = fs.CreateWrite(path);
        out->Write("abc", 3);
        out->Close();
        fs.DeleteFile(path + L"x");
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(fs.Changes().size(), 800u);
  EXPECT_EQ(fs.ReadFileText(L"C:\\Temp\\t3_199"), "abc");
}

}  // namespace
}  // namespace zl
