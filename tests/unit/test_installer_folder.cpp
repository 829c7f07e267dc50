// The installer's own folder: a fresh name from the system's random generator, never a name that
// is already there, and a removal that takes the plain files and never enters anything else.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "prerequisites/InstallerFolder.h"
#include "utils/Paths.h"
#include "utils/Text.h"

namespace zl {
namespace {

using fake::FakePlatform;
using Change = FakeFileSystem::Change;
using ChangeKind = FakeFileSystem::ChangeKind;
using namespace test;

const std::wstring kTemp = L"C:\\Temp\\";

// The n-th name (from 0) the fake's generator gives from its start, 0x0123456789ABCDEF.
std::wstring NthName(int n) { return kTemp + FolderName(0x0123456789ABCDEFull + n); }

std::vector<std::wstring> Names(FakePlatform& p, const std::wstring& dir) {
  std::vector<std::wstring> names;
  p.files.ListDirectory(dir, [&](const DirEntry& e) {
    names.push_back(e.name);
    return true;
  });
  return names;
}

struct InstallerFolderTest : FreshRunTest {};

TEST_F(InstallerFolderTest, IsANewNameFromTheRandomGeneratorNeverOneAlreadyThere) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    std::wstring path;  // empty: no folder
    int randomCalls;
  };
  auto taken = [](int count) {
    return [count](FakePlatform& p) {
      for (int i = 0; i < count; ++i) p.files.AddDir(NthName(i));
    };
  };
  const Case cases[] = {
      {"nothing in the way", taken(0), L"C:\\Temp\\zlefcdab8967452301", 1},
      {"other bytes", [](FakePlatform& p) { p.system.nextRandom = 0xA5; },
       L"C:\\Temp\\zla500000000000000", 1},
      {"a folder of the first name", taken(1), NthName(1), 2},
      {"a file of the first name",
       [](FakePlatform& p) { p.files.AddFile(NthName(0), "someone else's"); }, NthName(1), 2},
      {"a junction of the first name",
       [](FakePlatform& p) { p.files.AddReparseDir(NthName(0), L"C:\\Elsewhere"); }, NthName(1), 2},
      {"four names taken", taken(4), NthName(4), 5},
      {"five names taken", taken(5), L"", 5},
      {"no random generator", [](FakePlatform& p) { p.system.randomFails = true; }, L"", 1},
      {"a temporary folder that refuses new folders",
       [](FakePlatform& p) { p.files.SetReadOnlyDir(kTemp, true); }, L"", 5},
      {"no temporary folder", [](FakePlatform& p) { p.files.SetTempPath(L"C:\\Missing\\"); }, L"",
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    c.arrange(*p);
    const std::vector<std::wstring> before = Names(*p, kTemp);
    {
      InstallerFolder folder(p->files, p->system);
      EXPECT_EQ(folder.Path(), c.path);
      EXPECT_EQ(p->system.randomCalls, c.randomCalls);
      // The folder is the one change: no placeholder file on the way, nothing taken over.
      std::vector<Change> made;
      if (!c.path.empty()) made.push_back({ChangeKind::CreateDirectory, c.path});
      EXPECT_EQ(p->files.Changes(), made);
      if (c.path.empty()) {
        EXPECT_EQ(folder.NewFileName(L".msi"), L"");
        ASSERT_FALSE(p->system.debugOutput.empty());
        const std::wstring& last = p->system.debugOutput.back();
        EXPECT_TRUE(StartsWith(
            last, Trace::Format(L"No folder of its own could be made for an installer in ")))
            << ToUtf8(last);
      }
    }
    // What was there stays; the folder made is gone again.
    EXPECT_EQ(Names(*p, kTemp), before);
  }
}

TEST_F(InstallerFolderTest, RemovalTakesThePlainFilesAndEntersNothingElse) {
  const std::wstring letter = L"C:\\Users\\ana\\Documents\\letter.doc";
  struct Case {
    const char* name;
    // What is put into the folder once it is made (the installer's copy is always there).
    std::function<void(FakePlatform&, const std::wstring& dir)> arrange;
    bool folderStays;
    std::wstring trace;  // what the admin reads after the folder's path; empty: nothing
  };
  const Case cases[] = {
      {"plain files only",
       [](FakePlatform& p, const std::wstring& dir) { p.files.AddFile(dir + L"\\setup.log", ""); },
       false, L""},
      {"a file still open, a subfolder and a junction",
       [&](FakePlatform& p, const std::wstring& dir) {
         p.files.AddFile(dir + L"\\busy.log", "");
         p.files.AddFile(dir + L"\\Extracted\\data.cab", "cab");
         p.files.AddReparseDir(dir + L"\\Documents", GetDir(letter));
       },
       true, L" was left in place; it still holds \"busy.log\", \"Extracted\", \"Documents\""},
      {"a temporary folder that no longer lets it go",
       [](FakePlatform& p, const std::wstring&) { p.files.SetReadOnlyDir(kTemp, true); }, true,
       L" was left in place"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    p->files.AddFile(letter, "letter");
    std::wstring dir;
    std::unique_ptr<IWriteStream> busy;
    {
      InstallerFolder folder(p->files, p->system);
      dir = folder.Path();
      ASSERT_FALSE(dir.empty());
      p->files.AddFile(dir + L"\\tmp0001.msi", "package");
      c.arrange(*p, dir);
      if (p->files.Exists(dir + L"\\busy.log")) busy = p->files.CreateWrite(dir + L"\\busy.log");
    }
    EXPECT_FALSE(p->files.Exists(dir + L"\\tmp0001.msi"));
    EXPECT_FALSE(p->files.Exists(dir + L"\\setup.log"));
    EXPECT_EQ(p->files.Exists(dir), c.folderStays);
    // Nothing below a subfolder or behind a junction was touched.
    EXPECT_EQ(p->files.ReadFileText(letter), "letter");
    if (p->files.Exists(dir + L"\\Extracted")) {
      EXPECT_EQ(p->files.ReadFileText(dir + L"\\Extracted\\data.cab"), "cab");
    }
    // The admin learns where it is and what stayed.
    const std::vector<std::wstring>& lines = p->system.debugOutput;
    const std::wstring about = L"The installer's folder " + dir;
    auto line = std::find_if(lines.begin(), lines.end(), [&](const std::wstring& l) {
      return l.find(about) != std::wstring::npos;
    });
    if (c.trace.empty()) {
      EXPECT_EQ(line, lines.end());
    } else {
      ASSERT_NE(line, lines.end());
      EXPECT_EQ(*line, Trace::Format(about + c.trace) + L"\n");
    }
  }
}

TEST_F(InstallerFolderTest, AFolderReplacedByAJunctionIsNotEmptiedThroughIt) {
  p->files.AddFile(L"C:\\Users\\ana\\Documents\\letter.doc", "letter");
  InstallerFolder folder(p->files, p->system);
  const std::wstring dir = folder.Path();
  ASSERT_FALSE(dir.empty());
  // Someone swaps the empty folder for a link to the user's documents.
  ASSERT_TRUE(p->files.RemoveDirectory(dir));
  p->files.AddReparseDir(dir, L"C:\\Users\\ana\\Documents");

  folder.Remove();

  EXPECT_EQ(p->files.ReadFileText(L"C:\\Users\\ana\\Documents\\letter.doc"), "letter");
  // The link itself goes, as an empty folder would.
  EXPECT_FALSE(p->files.Exists(dir));
}

}  // namespace
}  // namespace zl
