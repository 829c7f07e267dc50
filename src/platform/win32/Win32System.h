#pragma once
// System queries through kernel32, user32, advapi32, ole32 and version.

#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

namespace zl::win32 {

class Win32System : public ISystem {
 public:
  Win32System();
  OsVersion Version() override;
  Wow64State IsWow64() override;
  std::optional<int64_t> FreeBytesAvailable(const std::wstring& dir) override;
  std::optional<uint64_t> TotalPhysicalMemory() override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  std::wstring SystemDirectory() override;
  std::wstring WindowsDirectory() override;
  std::wstring SystemWindowsDirectory() override;
  std::wstring Environment(const std::wstring& name) override;
  std::wstring ExpandEnvironment(const std::wstring& text) override;
  void DebugOutput(const std::wstring& text) override;
  std::wstring UserName() override;
  std::wstring NewGuidText() override;
  bool RandomBytes(void* buffer, size_t n) override;
  std::optional<FileVersion> FileVersionOf(const std::wstring& path) override;
  std::wstring CommandLine() override;
  uint32_t TickCount() override;
  void Sleep(uint32_t ms) override;
  std::optional<std::string> AnsiText(const std::wstring& text) override;

 private:
  static OsVersion ReadVersion();
  const OsVersion version_;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::wstring GuidText(const GUID& guid);

// The text in the code page, character for character (WideCharToMultiByte without best fit);
// nullopt when the code page lacks one of them or the text holds an unpaired surrogate. A test
// may pass a converter that checks the parameters as Windows does, which Wine does not.
using WideCharToMultiByteFn = decltype(&::WideCharToMultiByte);
std::optional<std::string> AnsiTextIn(UINT codePage, const std::wstring& text,
                                      WideCharToMultiByteFn convert = &::WideCharToMultiByte);

}  // namespace zl::win32
