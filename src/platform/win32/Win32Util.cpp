#include "platform/win32/Win32Util.h"

#include "platform/Platform.h"

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

}  // namespace zl::win32
