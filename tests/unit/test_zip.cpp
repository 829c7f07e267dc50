#include "utils/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ZipBuilder.h"
#include "platform/fake/FakeFileSystem.h"
#include "utils/Text.h"

namespace zl {
namespace {

using test::ZipBuilder;
using test::ZipEntry;
using Change = FakeFileSystem::Change;
using Kind = FakeFileSystem::ChangeKind;

const std::wstring kArchive = L"C:\\dl\\pkg.zip";
const std::wstring kTarget = L"C:\\out";

ZipEntry Entry(const std::string& name, const std::string& data, bool deflate = false) {
  ZipEntry e;
  e.name = name;
  e.data = data;
  e.deflate = deflate;
  return e;
}

class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override { fs.AddDir(L"C:\\dl"); }

  void Extract(const std::string& archive, const std::wstring& target = kTarget) {
    fs.AddFile(kArchive, archive);
    fs.ClearChanges();
    ExtractZip(fs, kArchive, target);
  }

  // Runs the extraction expecting a failure; returns the message.
  std::wstring ExtractError(const std::string& archive, const std::wstring& target = kTarget) {
    try {
      Extract(archive, target);
    } catch (const LauncherError& e) {
      EXPECT_NE(e.Message().find(kArchive), std::wstring::npos) << e.what();
      return e.Message();
    }
    ADD_FAILURE() << "no error";
    return std::wstring();
  }

  FakeFileSystem fs;
};

TEST_F(ZipTest, ExtractsEveryMemberToItsPath) {
  ZipEntry utf8 = Entry("gr\xc3\xbc\xc3\x9f.txt", "utf8");
  utf8.flags = 0x0800;
  struct Case {
    ZipEntry entry;
    std::wstring path;  // under C:\out
    std::string content;
  };
  const std::vector<Case> cases = {
      {Entry("stored.txt", "plain bytes\r\n\0x", false), L"stored.txt", "plain bytes\r\n\0x"},
      {Entry("deflated.txt", std::string(10000, 'z') + "end", true), L"deflated.txt",
       std::string(10000, 'z') + "end"},
      {Entry("empty-stored", ""), L"empty-stored", ""},
      {Entry("empty-deflated", "", true), L"empty-deflated", ""},
      {Entry("a/b/c/deep.txt", "deep", true), L"a\\b\\c\\deep.txt", "deep"},
      {Entry("win\\style\\back.txt", "back"), L"win\\style\\back.txt", "back"},
      {Entry("./dot//twice/./x.txt", "dots"), L"dot\\twice\\x.txt", "dots"},
      {utf8, L"gr\u00fc\u00df.txt", "utf8"},
      // Without the UTF-8 flag the same bytes are code page 437.
      {Entry("gr\xc3\xbc.txt", "cp437"), L"gr\u251c\u255d.txt", "cp437"},
      {Entry("caf\x82.txt", "cafe"), L"caf\u00e9.txt", "cafe"},
      {Entry("name.with.dots..txt", "dots2"), L"name.with.dots..txt", "dots2"},
  };
  ZipBuilder zip;
  for (const auto& c : cases) zip.Add(c.entry);
  zip.Folder("only-folder/").Folder("nested/empty/");
  Extract(zip.Build());

  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(fs.ReadFileText(kTarget + L"\\" + c.path), c.content);
  }
  for (const wchar_t* folder : {L"C:\\out\\only-folder", L"C:\\out\\nested\\empty"}) {
    SCOPED_TRACE(folder);
    EXPECT_TRUE(fs.GetAttributes(folder).directory);
  }
}

TEST_F(ZipTest, CreatesMissingFoldersOneLevelAtATimeInCentralDirectoryOrder) {
  ZipBuilder zip;
  zip.Stored("one.txt", "1").Deflated("sub/two.txt", "2").Stored("sub/deeper/three.txt", "3");
  zip.CentralOrder({2, 0, 1});
  Extract(zip.Build(), L"C:\\new\\deep\\out\\");

  const std::vector<Change> expected = {
      {Kind::CreateDirectory, L"C:\\new"},
      {Kind::CreateDirectory, L"C:\\new\\deep"},
      {Kind::CreateDirectory, L"C:\\new\\deep\\out"},
      {Kind::CreateDirectory, L"C:\\new\\deep\\out\\sub"},
      {Kind::CreateDirectory, L"C:\\new\\deep\\out\\sub\\deeper"},
      {Kind::CreateFile, L"C:\\new\\deep\\out\\sub\\deeper\\three.txt"},
      {Kind::CreateFile, L"C:\\new\\deep\\out\\one.txt"},
      {Kind::CreateFile, L"C:\\new\\deep\\out\\sub\\two.txt"},
  };
  EXPECT_EQ(fs.Changes(), expected);
  EXPECT_EQ(fs.ReadFileText(L"C:\\new\\deep\\out\\sub\\deeper\\three.txt"), "3");
}

TEST_F(ZipTest, OverwritesExistingFilesAndKeepsOthers) {
  fs.AddFile(L"C:\\out\\App\\app.exe", "an older and much longer program");
  fs.AddFile(L"C:\\out\\App\\keep.txt", "kept");
  Extract(ZipBuilder().Deflated("app/APP.EXE", "new").Build());
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\App\\app.exe"), "new");
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\App\\keep.txt"), "kept");
}

TEST_F(ZipTest, UnsafeMemberNamesAreRefusedBeforeAnythingIsWritten) {
  const std::vector<std::string> names = {
      "../evil.txt",  "a\\..\\..\\evil", "a/../../evil", "ok/..",     "..",
      "/abs",         "\\abs",           "C:\\x",        "C:x",       "c:/x",
      "dir/file:ads", "a/.../b",         "a/.. /b",      ". ./x",     "CON",
      "aux.txt",      "dir/nul",         "com1.log",     "lpt9",      std::string("a\0b", 3),
      "tab\there",    "what?.txt",       "star*.txt",    "pipe|.txt", "",
      "./",           ".//./",
  };
  for (const auto& bad : names) {
    SCOPED_TRACE(bad);
    ZipBuilder zip;
    zip.Stored("good.txt", "good").Deflated("folder/good2.txt", "good2").Stored(bad, "evil");
    std::wstring message = ExtractError(zip.Build());
    EXPECT_NE(message.find(L"unsafe path"), std::wstring::npos);
    EXPECT_EQ(fs.Changes(), std::vector<Change>());
    EXPECT_FALSE(fs.Exists(kTarget));
  }
  // Each separator kind still works on its own, and names merely containing dots are fine.
  Extract(ZipBuilder().Stored("a..b/..c", "x").Stored("CONFIG.SYS", "y").Build());
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\a..b\\..c"), "x");
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\CONFIG.SYS"), "y");
}

TEST_F(ZipTest, UnsupportedMembersAreRefusedBeforeAnythingIsWritten) {
  ZipEntry encrypted = Entry("secret.txt", "s", true);
  encrypted.flags = 0x0001;
  ZipEntry bzip2 = Entry("b.txt", "b");
  bzip2.method = 12;
  ZipEntry lzma = Entry("l.txt", "l");
  lzma.method = 14;
  ZipEntry zip64Size = Entry("big.bin", "b");
  zip64Size.declaredSize = 0xFFFFFFFF;
  ZipEntry zip64Offset = Entry("far.bin", "f");
  zip64Offset.declaredOffset = 0xFFFFFFFF;
  struct Case {
    ZipEntry entry;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {encrypted, L"\"secret.txt\" of the ZIP archive \"C:\\dl\\pkg.zip\" is encrypted"},
      {bzip2,
       L"\"b.txt\" of the ZIP archive \"C:\\dl\\pkg.zip\" uses the unsupported "
       L"compression method 12."},
      {lzma, L"compression method 14."},
      {zip64Size, L"ZIP64"},
      {zip64Offset, L"ZIP64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    std::wstring message = ExtractError(ZipBuilder().Stored("first.txt", "1").Add(c.entry).Build());
    EXPECT_NE(message.find(c.expected), std::wstring::npos) << ToUtf8(message);
    EXPECT_EQ(fs.Changes(), std::vector<Change>());
  }
}

TEST_F(ZipTest, DamagedMemberStopsExtractionAndLeavesNoHalfFile) {
  std::string data = "some content that compresses, some content that compresses";
  ZipEntry badCrc = Entry("m.bin", data, true);
  badCrc.corruptCrc = true;
  ZipEntry badCrcStored = Entry("m.bin", data);
  badCrcStored.corruptCrc = true;
  ZipEntry claimsMore = Entry("m.bin", data, true);
  claimsMore.declaredSize = static_cast<uint32_t>(data.size() + 1);
  ZipEntry claimsLess = Entry("m.bin", data, true);
  claimsLess.declaredSize = static_cast<uint32_t>(data.size() - 1);
  ZipEntry notDeflate = Entry("m.bin", data);
  notDeflate.method = 8;
  notDeflate.packed = std::string("\xff\xff\xff\xff garbage", 12);
  ZipEntry cutStream = Entry("m.bin", data, true);
  cutStream.packed = test::RawDeflate(data).substr(0, 10);
  ZipEntry storedSizesDiffer = Entry("m.bin", data);
  storedSizesDiffer.declaredSize = 3;
  ZipEntry badLocal = Entry("m.bin", data);
  badLocal.declaredOffset = 2;  // inside the first member, no local header there
  struct Case {
    const char* label;
    ZipEntry entry;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"crc", badCrc, L"\"m.bin\" of the ZIP archive \"C:\\dl\\pkg.zip\" fails its CRC check"},
      {"crc stored", badCrcStored, L"fails its CRC check"},
      {"size more", claimsMore, L"smaller than the archive says"},
      {"size less", claimsLess, L"larger than the archive says"},
      {"garbage", notDeflate, L"bad compressed data"},
      {"cut", cutStream, L"bad compressed data"},
      {"local", badLocal, L"\"m.bin\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs.DeleteFile(L"C:\\out\\m.bin");
    std::wstring message =
        ExtractError(ZipBuilder().Stored("before.txt", "ok").Add(c.entry).Build());
    EXPECT_NE(message.find(c.expected), std::wstring::npos) << ToUtf8(message);
    EXPECT_EQ(fs.ReadFileText(L"C:\\out\\before.txt"), "ok");
    EXPECT_FALSE(fs.Exists(L"C:\\out\\m.bin"));
  }
  // Stored members whose two sizes differ are refused up front.
  fs.DeleteFile(L"C:\\out\\before.txt");
  EXPECT_NE(ExtractError(ZipBuilder().Stored("before.txt", "ok").Add(storedSizesDiffer).Build())
                .find(L"\"m.bin\""),
            std::wstring::npos);
  EXPECT_EQ(fs.Changes(), std::vector<Change>());
}

TEST_F(ZipTest, DamagedOrForeignArchivesAreErrors) {
  ZipBuilder zip;
  zip.Stored("a.txt", "alpha").Deflated("b.txt", std::string(3000, 'b'));
  const std::string good = zip.Build();
  const size_t eocd = good.size() - 22;
  auto patch32 = [&](size_t at, uint32_t v) {
    std::string s = good;
    std::string bytes;
    ZipBuilder::Put32(bytes, v);
    s.replace(at, 4, bytes);
    return s;
  };
  struct Case {
    const char* label;
    std::string archive;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"empty", "", L"is not a ZIP archive"},
      {"text", "hello, this is not an archive at all", L"is not a ZIP archive"},
      {"21 bytes", good.substr(good.size() - 21), L"is not a ZIP archive"},
      {"last byte cut", good.substr(0, good.size() - 1), L"is not a ZIP archive"},
      {"head only", good.substr(0, good.size() / 2), L"is not a ZIP archive"},
      {"front cut", good.substr(40), L"damaged or truncated"},
      {"middle cut", good.substr(0, 50) + good.substr(60), L"damaged or truncated"},
      {"directory beyond", patch32(eocd + 16, static_cast<uint32_t>(good.size())),
       L"damaged or truncated"},
      {"directory too big", patch32(eocd + 12, 0x10000), L"damaged or truncated"},
      {"bad directory signature", patch32(static_cast<size_t>(eocd - 46 - 5 - 46 - 5), 0),
       L"damaged or truncated"},
      {"multi-disk", patch32(eocd + 4, 0x00010001), L"several disks"},
      {"zip64 count", patch32(eocd + 8, 0xFFFFFFFF), L"ZIP64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::wstring message = ExtractError(c.archive);
    EXPECT_NE(message.find(c.expected), std::wstring::npos) << ToUtf8(message);
    for (const Change& change : fs.Changes())
      EXPECT_EQ(change.path.rfind(kTarget + L"\\", 0), 0u) << ToUtf8(change.path);
  }
  // The unmodified archive does extract, so the cases above fail for their damage alone.
  Extract(good);
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\a.txt"), "alpha");
}

TEST_F(ZipTest, FindsTheDirectoryEndBehindAComment) {
  struct Case {
    const char* label;
    std::string comment;
    std::string trailer;
  };
  std::string fakeEnd = "PK\x05\x06";
  const std::vector<Case> cases = {
      {"none", "", ""},
      {"short", "made by the tests", ""},
      {"with a stray signature", "x" + fakeEnd + std::string(30, '\0'), ""},
      {"longest", std::string(0xFFFF, 'c'), ""},
      {"trailing bytes", "", "junk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ZipBuilder zip;
    zip.Deflated("x.txt", c.label).Comment(c.comment);
    Extract(zip.Build() + c.trailer);
    EXPECT_EQ(fs.ReadFileText(L"C:\\out\\x.txt"), c.label);
  }
}

TEST_F(ZipTest, DataPlacedByTheLocalHeader) {
  ZipEntry longerLocal = Entry("p.txt", "placed", true);
  longerLocal.localName = "a-much-longer-local-name.txt";
  longerLocal.localExtra = std::string(300, '\x01');
  ZipEntry descriptor = Entry("d.txt", std::string(5000, 'd'), true);
  descriptor.dataDescriptor = true;
  ZipEntry storedDescriptor = Entry("s.txt", "stored after");
  storedDescriptor.dataDescriptor = true;
  Extract(ZipBuilder().Add(longerLocal).Add(descriptor).Add(storedDescriptor).Build());
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\p.txt"), "placed");
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\d.txt"), std::string(5000, 'd'));
  EXPECT_EQ(fs.ReadFileText(L"C:\\out\\s.txt"), "stored after");
  EXPECT_FALSE(fs.Exists(L"C:\\out\\a-much-longer-local-name.txt"));
}

// Forwards to the fake and records the largest single read and write.
class RecordingFileSystem : public IFileSystem {
 public:
  explicit RecordingFileSystem(IFileSystem& inner) : inner_(inner) {}
  size_t maxRead = 0, maxWrite = 0, writes = 0;

  FileAttributes GetAttributes(const std::wstring& p) override { return inner_.GetAttributes(p); }
  bool CreateEmptyFile(const std::wstring& p) override { return inner_.CreateEmptyFile(p); }
  bool DeleteFile(const std::wstring& p) override { return inner_.DeleteFile(p); }
  bool CopyFile(const std::wstring& a, const std::wstring& b, bool f) override {
    return inner_.CopyFile(a, b, f);
  }
  bool CreateDirectory(const std::wstring& p) override { return inner_.CreateDirectory(p); }
  bool CreateNewDirectory(const std::wstring& p) override { return inner_.CreateNewDirectory(p); }
  std::unique_ptr<IHeldFile> HoldForRun(const std::wstring& p) override {
    return inner_.HoldForRun(p);
  }
  bool ListDirectory(const std::wstring& d,
                     const std::function<bool(const DirEntry&)>& v) override {
    return inner_.ListDirectory(d, v);
  }
  bool RemoveDirectory(const std::wstring& path) override { return inner_.RemoveDirectory(path); }
  std::optional<std::wstring> Sha256(const std::wstring& path) override {
    return inner_.Sha256(path);
  }
  bool AppendToFile(const std::wstring& path, const std::string& bytes) override {
    return inner_.AppendToFile(path, bytes);
  }
  std::wstring TempPath() override { return inner_.TempPath(); }
  std::wstring TempFileName(const std::wstring& d, const std::wstring& p) override {
    return inner_.TempFileName(d, p);
  }
  std::unique_ptr<IReadStream> OpenRead(const std::wstring& p) override {
    struct Stream : IReadStream {
      std::unique_ptr<IReadStream> in;
      RecordingFileSystem* owner;
      uint64_t Size() override { return in->Size(); }
      void ReadAt(uint64_t o, void* b, size_t n) override {
        owner->maxRead = std::max(owner->maxRead, n);
        in->ReadAt(o, b, n);
      }
    };
    auto s = std::make_unique<Stream>();
    s->in = inner_.OpenRead(p);
    s->owner = this;
    return s;
  }
  std::unique_ptr<IWriteStream> CreateWrite(const std::wstring& p) override {
    struct Stream : IWriteStream {
      std::unique_ptr<IWriteStream> out;
      RecordingFileSystem* owner;
      void Write(const void* d, size_t n) override {
        owner->maxWrite = std::max(owner->maxWrite, n);
        ++owner->writes;
        out->Write(d, n);
      }
      void Close() override { out->Close(); }
    };
    auto s = std::make_unique<Stream>();
    s->out = inner_.CreateWrite(p);
    s->owner = this;
    return s;
  }

 private:
  IFileSystem& inner_;
};

TEST_F(ZipTest, LargeMembersStreamInChunks) {
  // 5 MB: half incompressible (many input chunks), half repetitive (many output chunks).
  std::string data;
  data.reserve(5 * 1024 * 1024);
  uint32_t seed = 12345;
  while (data.size() < 5 * 1024 * 1024 / 2) {
    seed = seed * 1103515245u + 12345u;
    data += static_cast<char>(seed >> 24);
  }
  while (data.size() < 5 * 1024 * 1024) data += "line of launcher text\r\n";
  std::string stored = data.substr(0, 300 * 1024);
  fs.AddFile(kArchive, ZipBuilder().Deflated("big.bin", data).Stored("s.bin", stored).Build());

  RecordingFileSystem recording(fs);
  ExtractZip(recording, kArchive, kTarget);
  EXPECT_TRUE(fs.ReadFileText(L"C:\\out\\big.bin") == data);
  EXPECT_TRUE(fs.ReadFileText(L"C:\\out\\s.bin") == stored);
  EXPECT_LE(recording.maxRead, 256u * 1024);
  EXPECT_LE(recording.maxWrite, 256u * 1024);
  EXPECT_GE(recording.writes, 20u);
}

TEST_F(ZipTest, FileSystemFailuresAreErrors) {
  const std::string zip = ZipBuilder().Stored("f.txt", "x").Stored("g/h.txt", "y").Build();
  {
    SCOPED_TRACE("missing archive");
    try {
      ExtractZip(fs, L"C:\\dl\\missing.zip", kTarget);
      ADD_FAILURE() << "no error";
    } catch (const LauncherError& e) {
      EXPECT_NE(e.Message().find(L"C:\\dl\\missing.zip"), std::wstring::npos) << e.what();
    }
  }
  {
    SCOPED_TRACE("disk error");
    fs.FailNextCreateWrite();
    EXPECT_NE(ExtractError(zip).find(L"C:\\out\\f.txt"), std::wstring::npos);
  }
  {
    SCOPED_TRACE("a file where a folder goes");
    fs.AddFile(L"C:\\out\\g", "file");
    EXPECT_NE(ExtractError(zip).find(L"Cannot create the folder \"C:\\out\\g\""),
              std::wstring::npos);
  }
  {
    SCOPED_TRACE("read-only target");
    fs.AddDir(L"C:\\ro");
    fs.SetReadOnlyDir(L"C:\\ro", true);
    EXPECT_NE(ExtractError(zip, L"C:\\ro").find(L"C:\\ro\\f.txt"), std::wstring::npos);
  }
  for (const wchar_t* target : {L"", L"\\", L"//"}) {
    SCOPED_TRACE(ToUtf8(target));
    EXPECT_NE(ExtractError(zip, target).find(L"No folder"), std::wstring::npos);
  }
}

TEST_F(ZipTest, ExtractsToAShareAndToADriveRoot) {
  fs.AddDir(L"\\\\srv01\\zelkora$");
  const std::string zip = ZipBuilder().Deflated("Velmont/Velmont.exe", "exe").Build();
  Extract(zip, L"\\\\srv01\\zelkora$\\apps");
  EXPECT_EQ(fs.ReadFileText(L"\\\\srv01\\zelkora$\\apps\\Velmont\\Velmont.exe"), "exe");
  Extract(zip, L"C:\\");
  EXPECT_EQ(fs.ReadFileText(L"C:\\Velmont\\Velmont.exe"), "exe");
  // A share that does not exist cannot be made.
  EXPECT_NE(ExtractError(zip, L"\\\\other\\share\\x").find(L"\\\\other\\share\\x"),
            std::wstring::npos);
}

}  // namespace
}  // namespace zl
