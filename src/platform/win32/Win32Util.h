#pragma once
// Small helpers shared by the Win32 adapters.

#include "platform/win32/Win32Api.h"

#include <optional>
#include <string>

namespace zl::win32 {

// The system's text for a Win32 error code, without the trailing line break; "Error <n>." when
// the system has no text for it.
std::wstring SystemMessage(DWORD error);

// "<what> <system message>", the form of every LauncherError the adapters raise.
[[noreturn]] void ThrowWithSystemMessage(const std::wstring& what, DWORD error);

// A function the running Windows may lack (anything newer than XP), looked up at run time.
// GetProcAddress returns a FARPROC; going through void* keeps -Wcast-function-type quiet.
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A NULL pointer for an argument not given; an empty string stays an empty string.
inline const wchar_t* OrNull(const std::optional<std::wstring>& text) {
  return text ? text->c_str() : nullptr;
}

}  // namespace zl::win32
