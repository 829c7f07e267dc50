// Win32Shell against Wine's shell32: real processes, started and waited for.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32UserInterface.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zl::win32 {
namespace {

// Started as "<this exe> --zl-wait-event=<name>", the test program is a child that lives until
// the event is set (at most a minute): a process whose end the test controls. It must decide
// before GoogleTest's main runs, hence a static initialiser.
const wchar_t kWaitSwitch[] = L"--zl-wait-event=";
const bool kChildMode = [] {
  const std::wstring line = ::GetCommandLineW();
  const size_t at = line.find(kWaitSwitch);
  if (at == std::wstring::npos) return false;
  std::wstring name = line.substr(at + wcslen(kWaitSwitch));
  name = name.substr(0, name.find_first_of(L" \""));
  UniqueHandle event(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
  const DWORD rc = event ? ::WaitForSingleObject(event.Get(), 60000) : WAIT_FAILED;
  ::ExitProcess(rc == WAIT_OBJECT_0 ? 0 : 1);
  return true;
}();

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH];
  ::GetSystemDirectoryW(buffer, MAX_PATH);
  return buffer;
}

std::wstring ThisExe() {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
  return std::wstring(buffer, n);
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = std::wstring(temp) + L"ZelkoraShell-" + std::wstring(name.begin(), name.end());
    ::CreateDirectoryW(dir_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const wchar_t* f : {L"out.txt", L"cwd.txt"}) ::DeleteFileW((dir_ + L"\\" + f).c_str());
    ::RemoveDirectoryW(dir_.c_str());
  }

  // The size of a file another process writes, once it has appeared and stopped growing
  // (bounded); -1 when it never appears.
  static long long WaitForFile(const std::wstring& path, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    UniqueHandle change(::FindFirstChangeNotificationW(
        path.substr(0, path.rfind(L'\\')).c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
    for (;;) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
          data.nFileSizeLow > 0)
        return data.nFileSizeLow;
      const DWORD elapsed = ::GetTickCount() - start;
      if (elapsed >= timeoutMs) return -1;
      // Change notifications are a wake-up only (Wine may miss some): re-check at least every
      // 50 ms until the bound.
      if (change) {
        ::WaitForSingleObject(change.Get(), 50);
        ::FindNextChangeNotification(change.Get());
      } else {
        ::WaitForSingleObject(::GetCurrentProcess(), 50);
      }
    }
  }

  static std::string ReadText(const std::wstring& path) {
    UniqueHandle f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return std::string();
    char buffer[4096];
    DWORD got = 0;
    ::ReadFile(f.Get(), buffer, sizeof buffer, &got, nullptr);
    std::string text(buffer, got);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    return text;
  }

  Win32Shell shell_;
  std::wstring dir_;
};

TEST_F(ShellTest, MissingFileWithoutUiFailsAtOnce) {
  struct Row {
    const char* label;
    std::wstring file;
  };
  const Row table[] = {
      {"missing file", dir_ + L"\\missing.exe"},
      {"missing folder", dir_ + L"\\missing\\missing.exe"},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    ShellExecuteRequest r;
    r.mask = see::NoCloseProcess | see::FlagNoUi;
    r.verb = L"open";
    r.file = row.file;
    const DWORD start = ::GetTickCount();
    const ShellStart s = shell_.ShellExecuteEx(r);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.process, nullptr);
    EXPECT_LT(::GetTickCount() - start, 5000u);
  }
}

// cmd.exe writes its working folder into a file of that folder: the program, its parameters
// (including the quoted redirection) and its folder all arrived.
TEST_F(ShellTest, StartsAProgramWithParametersAndFolderForEveryVerb) {
  struct Row {
    const char* label;
    std::optional<std::wstring> verb;
  };
  const Row table[] = {{"default verb", std::nullopt}, {"open", L"open"}, {"runas", L"runas"}};
  for (const Row& row : table) {
    SCOPED_TRACE(row.label);
    const std::wstring out = dir_ + L"\\cwd.txt";
    ::DeleteFileW(out.c_str());
    ShellExecuteRequest r;
    r.mask = see::NoCloseProcess | see::FlagNoUi;
    r.verb = row.verb;
    r.file = SystemFolder() + L"\\cmd.exe";
    r.parameters = L"/c cd > cwd.txt";
    r.directory = dir_;
    r.show = kSwHide;
    const ShellStart s = shell_.ShellExecuteEx(r);
    ASSERT_TRUE(s.ok);
    ASSERT_NE(s.process, nullptr);
    EXPECT_TRUE(s.process->Wait(30000));
    ASSERT_GT(WaitForFile(out, 10000), 0);
    const std::string cwd = ReadText(out);
    EXPECT_EQ(_stricmp(cwd.c_str(), std::string(dir_.begin(), dir_.end()).c_str()), 0) << cwd;
  }
}

TEST_F(ShellTest, WaitTimesOutWhileTheProcessRunsAndSucceedsAfterItEnds) {
  const std::wstring name = L"ZelkoraShellChild-" + std::to_wstring(::GetCurrentProcessId());
  UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(release.Valid());
  ShellExecuteRequest r;
  r.mask = see::NoCloseProcess | see::FlagNoUi;
  r.file = ThisExe();
  r.parameters = kWaitSwitch + name;
  const ShellStart s = shell_.ShellExecuteEx(r);
  ASSERT_TRUE(s.ok);
  ASSERT_NE(s.process, nullptr);
  EXPECT_FALSE(s.process->Wait(0));
  EXPECT_FALSE(s.process->Wait(200));
  ::SetEvent(release.Get());
  EXPECT_TRUE(s.process->Wait(30000));
}

TEST_F(ShellTest, WithoutNoCloseProcessThereIsNoProcessToWaitFor) {
  ShellExecuteRequest r;
  r.mask = see::FlagNoUi;
  r.file = SystemFolder() + L"\\cmd.exe";
  r.parameters = L"/c exit 3";
  const ShellStart s = shell_.ShellExecuteEx(r);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.process, nullptr);
}

TEST_F(ShellTest, ShellExecuteRunsInTheGivenFolder) {
  shell_.ShellExecute(L"open", SystemFolder() + L"\\cmd.exe", L"/c echo started> out.txt", dir_,
                      kSwHide);
  ASSERT_GT(WaitForFile(dir_ + L"\\out.txt", 30000), 0);
  EXPECT_EQ(ReadText(dir_ + L"\\out.txt"), "started");
}

// Workers start programs too: the shell needs COM on whichever thread calls it.
TEST_F(ShellTest, WorksFromAWorkerThread) {
  Win32UserInterface ui;
  struct Result {
    UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool ok = false;
    bool ended = false;
  };
  auto result = std::make_shared<Result>();
  const std::wstring cmd = SystemFolder() + L"\\cmd.exe";
  ui.StartThread([result, cmd] {
    Win32Shell shell;
    ShellExecuteRequest r;
    r.mask = see::NoCloseProcess | see::FlagNoUi;
    r.file = cmd;
    r.parameters = L"/c exit 0";
    ShellStart s = shell.ShellExecuteEx(r);
    result->ok = s.ok;
    result->ended = s.process != nullptr && s.process->Wait(30000);
    ::SetEvent(result->done.Get());
  });
  ASSERT_EQ(::WaitForSingleObject(result->done.Get(), 60000), WAIT_OBJECT_0);
  EXPECT_TRUE(result->ok);
  EXPECT_TRUE(result->ended);
}

}  // namespace
}  // namespace zl::win32
