#pragma once
// Small helpers shared by the Win32 adapters.

#include "platform/win32/Win32Api.h"
#include "platform/win32/Handles.h"

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

// A system DLL that is not a KnownDLL (version, wininet, uxtheme), loaded by its full path in the
// system folder. By name the loader looks in the program's own folder first, and the launcher
// often runs from a share where anyone can put a DLL beside it; the DLL's own imports are then
// looked up from the system folder too. Takes a bare file name only ("version.dll"); anything with
// a folder in it is refused with ERROR_INVALID_PARAMETER. Empty when it fails, with the reason in
// GetLastError. comctl32 is never loaded this way: only by name does the manifest's version 6 win.
UniqueModule LoadSystemLibrary(const wchar_t* name);

// A NULL pointer for an argument not given; an empty string stays an empty string.
inline const wchar_t* OrNull(const std::optional<std::wstring>& text) {
  return text ? text->c_str() : nullptr;
}

}  // namespace zl::win32
