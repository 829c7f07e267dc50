#pragma once
// A test that must not share its process: Wine's task dialog stops centring itself once
// comctl32 or comdlg32 was loaded, which earlier tests of windows do. Such a test starts the test
// program again with only itself and reads the exit code.

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "MessagePump.h"

#include <string>

namespace zl::win32::testing {

constexpr wchar_t kAloneVariable[] = L"ZL_TEST_ALONE";

// True in the process RunAlone started.
inline bool InOwnProcess() { return ::GetEnvironmentVariableW(kAloneVariable, nullptr, 0) > 0; }

// Runs this test program with only the named test, in a process of its own; its exit code.
inline DWORD RunAlone(const std::string& testName) {
  wchar_t exe[MAX_PATH + 1] = {};
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" +
                             std::wstring(testName.begin(), testName.end());
  ::SetEnvironmentVariableW(kAloneVariable, L"1");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const BOOL started = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
  ::SetEnvironmentVariableW(kAloneVariable, nullptr);
  if (!started) return 1000;
  UniqueHandle process(info.hProcess), thread(info.hThread);
  if (::WaitForSingleObject(process.Get(), 4 * kBound) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1001);
    ::WaitForSingleObject(process.Get(), kBound);
    return 1001;
  }
  DWORD code = 1002;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

}  // namespace zl::win32::testing
