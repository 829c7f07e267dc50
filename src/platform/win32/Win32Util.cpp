#include "platform/win32/Win32Util.h"

#include "platform/Platform.h"

#include <cwchar>

namespace zl::win32 {

std::wstring SystemMessage(DWORD error) {
  wchar_t buffer[1024];
  const DWORD n =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]), nullptr);
  std::wstring text(buffer, n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) text = L"Error " + std::to_wstring(error) + L".";
  return text;
}

void ThrowWithSystemMessage(const std::wstring& what, DWORD error) {
  throw LauncherError(what + L" " + SystemMessage(error));
}

UniqueModule LoadSystemLibrary(const wchar_t* name) {
  if (name == nullptr || *name == L'\0' || std::wcspbrk(name, L"\\/:") != nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return UniqueModule();
  }
  wchar_t folder[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    if (n != 0) ::SetLastError(ERROR_BUFFER_OVERFLOW);
    return UniqueModule();
  }
  const std::wstring path = std::wstring(folder, n) + L"\\" + name;
  return UniqueModule(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace zl::win32
