// Win32FileSystem against Wine's file system, in a throwaway folder under the temp folder.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32FileSystem.h"

#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <map>
#include <string>
#include <vector>

namespace zl::win32 {
namespace {

void WipeTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  {
    UniqueFind find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
    if (find) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          WipeTree(path);
        else
          ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(find.Get(), &data));
    }
  }
  ::RemoveDirectoryW(dir.c_str());
}

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info->name();
    dir_ = fs_.TempPath() + L"ZelkoraTest-" + std::wstring(name.begin(), name.end());
    WipeTree(dir_);
    ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
  }
  void TearDown() override { WipeTree(dir_); }

  std::wstring Path(const std::wstring& name) const { return dir_ + L"\\" + name; }

  void WriteText(const std::wstring& path, const std::string& text) {
    auto out = fs_.CreateWrite(path);
    out->Write(text.data(), text.size());
    out->Close();
  }

  std::string ReadAll(const std::wstring& path) {
    auto in = fs_.OpenRead(path);
    std::string text(static_cast<size_t>(in->Size()), '\0');
    if (!text.empty()) in->ReadAt(0, &text[0], text.size());
    return text;
  }

  Win32FileSystem fs_;
  std::wstring dir_;
};

TEST_F(FileSystemTest, AttributesOfFileFolderAndMissingPaths) {
  WriteText(Path(L"file.txt"), "x");
  ASSERT_TRUE(::CreateDirectoryW(Path(L"folder").c_str(), nullptr));
  struct Row {
    std::wstring path;
    bool exists, directory;
  };
  const Row table[] = {
      {Path(L"file.txt"), true, false},
      {Path(L"folder"), true, true},
      {Path(L"folder\\"), true, true},
      {Path(L"missing.txt"), false, false},
      {Path(L"missing\\deeper.txt"), false, false},
      {L"", false, false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(std::string(row.path.begin(), row.path.end()));
    const FileAttributes a = fs_.GetAttributes(row.path);
    EXPECT_EQ(a.exists, row.exists);
    EXPECT_EQ(a.directory, row.directory);
    EXPECT_FALSE(a.reparsePoint);
  }
}

TEST_F(FileSystemTest, CreateEmptyFileTruncatesAndNeedsExclusiveAccess) {
  const std::wstring path = Path(L"empty.dat");
  EXPECT_TRUE(fs_.CreateEmptyFile(path));
  WriteText(path, "some content");
  EXPECT_TRUE(fs_.CreateEmptyFile(path));  // CREATE_ALWAYS: again, and emptied
  EXPECT_EQ(ReadAll(path), "");

  // No sharing: a file another handle holds open cannot be created over.
  UniqueHandle held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.Valid());
  EXPECT_FALSE(fs_.CreateEmptyFile(path));
  held.Reset();
  EXPECT_TRUE(fs_.CreateEmptyFile(path));

  EXPECT_FALSE(fs_.CreateEmptyFile(Path(L"missing\\x.dat")));
}

TEST_F(FileSystemTest, DeleteCopyAndCreateDirectory) {
  WriteText(Path(L"a.txt"), "alpha");
  WriteText(Path(L"b.txt"), "bravo");

  EXPECT_FALSE(fs_.CopyFile(Path(L"a.txt"), Path(L"b.txt"), true));
  EXPECT_EQ(ReadAll(Path(L"b.txt")), "bravo");
  EXPECT_TRUE(fs_.CopyFile(Path(L"a.txt"), Path(L"b.txt"), false));
  EXPECT_EQ(ReadAll(Path(L"b.txt")), "alpha");
  EXPECT_FALSE(fs_.CopyFile(Path(L"missing.txt"), Path(L"c.txt"), false));

  EXPECT_TRUE(fs_.DeleteFile(Path(L"b.txt")));
  EXPECT_FALSE(fs_.GetAttributes(Path(L"b.txt")).exists);
  EXPECT_FALSE(fs_.DeleteFile(Path(L"b.txt")));

  struct Row {
    const char* label;
    std::wstring path;
    bool result;
  };
  const Row table[] = {
      {"new folder", Path(L"new"), true},
      {"existing folder", Path(L"new"), true},
      {"a file is in the way", Path(L"a.txt"), false},
      {"parent missing", Path(L"missing\\child"), false},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(fs_.CreateDirectory(row.path), row.result);
  }
}

TEST_F(FileSystemTest, StreamsRoundTripAndReadExactly) {
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  const std::wstring path = Path(L"stream.bin");
  {
    auto out = fs_.CreateWrite(path);
    out->Write(data.data(), 10);
    out->Write(data.data() + 10, 0);
    out->Write(data.data() + 10, data.size() - 10);
    out->Close();
    out->Close();  // a second close has nothing left to do
  }
  auto in = fs_.OpenRead(path);
  ASSERT_EQ(in->Size(), data.size());

  struct Row {
    uint64_t offset;
    size_t n;
    bool throws;
  };
  const Row table[] = {
      {0, 100000, false}, {12345, 1000, false}, {99990, 10, false},    {0, 0, false},
      {99995, 10, true},  {100000, 1, true},    {1ull << 32, 1, true},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(::testing::Message() << "offset " << row.offset << " n " << row.n);
    std::string got(row.n, '\0');
    if (row.throws) {
      try {
        in->ReadAt(row.offset, &got[0], row.n);
        ADD_FAILURE() << "no error for a read past the end";
      } catch (const LauncherError& e) {
        EXPECT_NE(e.Message().find(L"\"" + path + L"\""), std::wstring::npos);
      }
    } else {
      if (row.n != 0) in->ReadAt(row.offset, &got[0], row.n);
      EXPECT_EQ(got, data.substr(static_cast<size_t>(row.offset), row.n));
    }
  }
}

// The high 32 bits of an offset must reach the file pointer: data 4 GiB in must not be read
// from the start. The file is sparse, so it costs no disk space.
TEST_F(FileSystemTest, ReadAtHonoursOffsetsBeyondFourGigabytes) {
  const std::wstring path = Path(L"sparse.bin");
  const uint64_t farOffset = (1ull << 32) + 16;
  {
    UniqueHandle f(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f.Valid());
    DWORD ignored = 0;
    ::DeviceIoControl(f.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LONG high = static_cast<LONG>(farOffset >> 32);
    ASSERT_NE(
        ::SetFilePointer(f.Get(), static_cast<LONG>(farOffset & 0xFFFFFFFF), &high, FILE_BEGIN),
        INVALID_SET_FILE_POINTER);
    DWORD put = 0;
    if (!::WriteFile(f.Get(), "FAR!", 4, &put, nullptr) || put != 4)
      GTEST_SKIP() << "this file system has no room for a 4 GiB sparse file";
  }
  auto in = fs_.OpenRead(path);
  EXPECT_EQ(in->Size(), farOffset + 4);
  char got[5] = {};
  in->ReadAt(farOffset, got, 4);
  EXPECT_STREQ(got, "FAR!");
  char start[4] = {1, 1, 1, 1};
  in->ReadAt(16, start, 4);
  EXPECT_EQ(std::string(start, 4), std::string(4, '\0'));
}

TEST_F(FileSystemTest, OpenErrorsCarryThePathAndTheSystemMessage) {
  struct Row {
    const char* label;
    std::wstring path;
    bool forWriting;
    std::wstring prefix;
  };
  const Row table[] = {
      {"read missing file", Path(L"missing.txt"), false,
       L"Cannot open file \"" + Path(L"missing.txt") + L"\". "},
      {"write into missing folder", Path(L"missing\\x.txt"), true,
       L"Cannot create file \"" + Path(L"missing\\x.txt") + L"\". "},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    try {
      if (row.forWriting)
        fs_.CreateWrite(row.path);
      else
        fs_.OpenRead(row.path);
      ADD_FAILURE() << "no error";
    } catch (const LauncherError& e) {
      const std::wstring& m = e.Message();
      ASSERT_GT(m.size(), row.prefix.size());
      EXPECT_EQ(m.substr(0, row.prefix.size()), row.prefix);
      EXPECT_NE(m.back(), L'\n');  // FormatMessage's line break is trimmed
    }
  }
}

TEST_F(FileSystemTest, ListDirectoryListsEntriesWithoutDotsAndStopsWhenAsked) {
  WriteText(Path(L"one.txt"), "1");
  WriteText(Path(L"two.txt"), "2");
  ASSERT_TRUE(::CreateDirectoryW(Path(L"sub").c_str(), nullptr));
  WriteText(Path(L"sub\\inner.txt"), "3");

  for (const std::wstring& dir : {dir_, dir_ + L"\\"}) {
    std::map<std::wstring, bool> seen;  // name -> directory
    EXPECT_TRUE(fs_.ListDirectory(dir, [&](const DirEntry& e) {
      EXPECT_TRUE(e.attributes.exists);
      seen[e.name] = e.attributes.directory;
      return true;
    }));
    EXPECT_EQ(seen, (std::map<std::wstring, bool>{
                        {L"one.txt", false}, {L"sub", true}, {L"two.txt", false}}));
  }

  int visits = 0;
  EXPECT_TRUE(fs_.ListDirectory(dir_, [&](const DirEntry&) { return ++visits < 2; }));
  EXPECT_EQ(visits, 2);

  ASSERT_TRUE(::CreateDirectoryW(Path(L"empty").c_str(), nullptr));
  EXPECT_TRUE(fs_.ListDirectory(Path(L"empty"), [&](const DirEntry& e) {
    ADD_FAILURE() << "unexpected entry";
    return e.name.empty();
  }));
  EXPECT_FALSE(fs_.ListDirectory(Path(L"missing"), [](const DirEntry&) { return true; }));
}

TEST_F(FileSystemTest, Sha256OfKnownContentsAndOfNoFile) {
  WriteText(Path(L"abc.msi"), "abc");
  WriteText(Path(L"empty.msi"), "");
  // Larger than one read of the hash loop.
  WriteText(Path(L"big.msi"), std::string(3 * 1024 * 1024 + 5, 'a'));
  EXPECT_EQ(fs_.Sha256(Path(L"abc.msi")),
            std::optional<std::wstring>(
                L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  EXPECT_EQ(fs_.Sha256(Path(L"empty.msi")),
            std::optional<std::wstring>(
                L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
  const std::optional<std::wstring> big = fs_.Sha256(Path(L"big.msi"));
  ASSERT_TRUE(big.has_value());
  EXPECT_EQ(big->size(), 64u);
  EXPECT_EQ(fs_.Sha256(Path(L"missing.msi")), std::nullopt);
  EXPECT_EQ(fs_.Sha256(dir_), std::nullopt);
}

TEST_F(FileSystemTest, ANewFolderIsOnlyOneThisCallMade) {
  EXPECT_TRUE(fs_.CreateNewDirectory(Path(L"new")));
  EXPECT_FALSE(fs_.CreateNewDirectory(Path(L"new"))) << "a folder already there";
  WriteText(Path(L"file"), "x");
  EXPECT_FALSE(fs_.CreateNewDirectory(Path(L"file")));
  EXPECT_FALSE(fs_.CreateNewDirectory(Path(L"missing\\new"))) << "one level only";
  EXPECT_TRUE(fs_.CreateDirectory(Path(L"new"))) << "the lenient call takes it as it is";
}

TEST_F(FileSystemTest, AHeldFileCanBeReadButNotChangedUntilReleased) {
  const std::wstring path = Path(L"abc.msi");
  WriteText(path, "abc");
  auto openFor = [&](DWORD access, DWORD share) {
    return UniqueHandle(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  const DWORD anyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  {
    std::unique_ptr<IHeldFile> held = fs_.HoldForRun(path);
    ASSERT_NE(held, nullptr);
    // Twice through the same handle: each hash starts at the file's beginning.
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(held->Sha256(),
                std::optional<std::wstring>(
                    L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(held->Contents(), std::optional<std::string>("abc"));
    EXPECT_TRUE(openFor(GENERIC_READ, FILE_SHARE_READ)) << "a reader such as msiexec";
    const bool writable = static_cast<bool>(openFor(GENERIC_WRITE, anyShare));
    const DWORD error = ::GetLastError();
    EXPECT_FALSE(writable);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    EXPECT_FALSE(::MoveFileW(path.c_str(), Path(L"other.msi").c_str()));
  }
  // Released with the holder; and a file open for writing elsewhere cannot be held.
  UniqueHandle writer = openFor(GENERIC_WRITE, anyShare);
  ASSERT_TRUE(writer);
  EXPECT_EQ(fs_.HoldForRun(path), nullptr);
  EXPECT_EQ(fs_.HoldForRun(Path(L"missing.msi")), nullptr);
}

TEST_F(FileSystemTest, TempPathAndTempFileName) {
  const std::wstring temp = fs_.TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_TRUE(fs_.GetAttributes(temp).directory);

  const std::wstring first = fs_.TempFileName(dir_, L"ZLX");
  const std::wstring second = fs_.TempFileName(dir_, L"ZLX");
  EXPECT_NE(first, second);
  for (const std::wstring& name : {first, second}) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    const FileAttributes a = fs_.GetAttributes(name);
    EXPECT_TRUE(a.exists);
    EXPECT_FALSE(a.directory);
    EXPECT_EQ(name.substr(0, dir_.size() + 4), dir_ + L"\\ZLX");
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp");
    EXPECT_EQ(ReadAll(name), "");
  }
  EXPECT_THROW(fs_.TempFileName(Path(L"missing"), L"ZLX"), LauncherError);
}

// Not a test: scripts/bench_hash.py sets ZL_BENCH_HASH_MB and reads the printed time.
TEST_F(FileSystemTest, BenchSha256) {
  const char* mb = std::getenv("ZL_BENCH_HASH_MB");
  if (mb == nullptr) GTEST_SKIP() << "set ZL_BENCH_HASH_MB to time the checksum of a file";
  const std::wstring path = Path(L"big.msi");
  {
    auto out = fs_.CreateWrite(path);
    const std::string chunk(1 << 20, 'z');
    for (int i = 0; i < std::atoi(mb); ++i) out->Write(chunk.data(), chunk.size());
    out->Close();
  }
  const DWORD start = ::GetTickCount();
  const std::optional<std::wstring> digest = fs_.Sha256(path);
  const DWORD elapsed = ::GetTickCount() - start;
  ASSERT_TRUE(digest.has_value());
  std::printf("bench-hash: %s MB in %lu ms\n", mb, static_cast<unsigned long>(elapsed));
}

// An 8.3 TMP (as XP's profiles under "Documents and Settings" give it) comes back long.
TEST_F(FileSystemTest, TempPathIsTheLongForm) {
  const std::wstring longDir = Path(L"Temporary Files Of Someone");
  ASSERT_TRUE(::CreateDirectoryW(longDir.c_str(), nullptr));
  wchar_t shortDir[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(longDir.c_str(), shortDir, MAX_PATH), 0u);
  ASSERT_NE(std::wstring(shortDir), longDir);
  wchar_t saved[MAX_PATH] = {};
  const bool hadTmp = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) != 0;
  ::SetEnvironmentVariableW(L"TMP", (std::wstring(shortDir) + L"\\").c_str());
  const std::wstring temp = fs_.TempPath();
  ::SetEnvironmentVariableW(L"TMP", hadTmp ? saved : nullptr);
  EXPECT_EQ(temp, longDir + L"\\");
}

}  // namespace
}  // namespace zl::win32
