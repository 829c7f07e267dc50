#pragma once
// Starting programs and documents through shell32.

#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

namespace zl::win32 {

class Win32Shell : public IShell {
 public:
  ShellStart ShellExecuteEx(const ShellExecuteRequest& request) override;
  void ShellExecute(const std::wstring& verb, const std::wstring& file,
                    const std::wstring& parameters, const std::wstring& directory,
                    int show) override;
};

// Initialises COM (apartment-threaded) on the calling thread once, for as long as the thread
// lives. Exposed for the other adapters that reach the shell.
void EnsureComOnThisThread();

}  // namespace zl::win32
