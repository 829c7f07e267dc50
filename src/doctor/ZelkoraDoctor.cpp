// ZelkoraDoctor.exe: checks a workstation as the launcher would (steps 1 to 5, with the same
// options) and changes nothing. Prints one line per check, or with --json one JSON document;
// arguments after "--" stand for the launcher's own. Exit code 0: the application would start
// without a question; 1: warnings, offers or questions; 2: a critical finding; 3: the doctor
// itself failed.

#include <windows.h>

#include <string>
#include <vector>

#include "doctor/Doctor.h"
#include "model/LaunchRun.h"
#include "model/Trace.h"
#include "platform/DryRun.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Util.h"
#include "utils/Text.h"

namespace {

void Print(const std::wstring& text) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, put = 0;
  if (::GetConsoleMode(out, &mode)) {
    ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  } else {
    const std::string bytes = zl::ToUtf8(text);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  }
}

std::wstring Quoted(const std::wstring& arg) {
  return arg.empty() || arg.find_first_of(L" \t") != std::wstring::npos ? L"\"" + arg + L"\"" : arg;
}

}  // namespace

int wmain() {
  // As the launcher: the current folder takes no part in finding DLLs.
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  const auto setDllDirectory =
      zl::win32::LookUp<SetDllDirectoryFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDllDirectoryW");
  if (setDllDirectory != nullptr) setDllDirectory(L"");

  const std::vector<std::wstring> args = zl::SplitCommandLine(::GetCommandLineW());
  bool json = false;
  std::wstring launcherLine = L"ZelkoraLauncher.exe";
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"--") {
      for (++i; i < args.size(); ++i) launcherLine += L" " + Quoted(args[i]);
    } else if (args[i] == L"--json") {
      json = true;
    } else {
      Print(L"usage: ZelkoraDoctor [--json] [-- the launcher's arguments]\r\n");
      return 3;
    }
  }

  try {
    zl::DryRun dry(zl::win32::Win32Platform());
    zl::Trace::SetOutput(dry.Services().system, dry.Services().files);
    zl::LaunchRun run(dry.Services());
    const zl::DoctorReport report = zl::Doctor::Run(run, dry, launcherLine);
    if (json) {
      const std::string text = zl::Doctor::Json(report);
      DWORD put = 0;
      ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                  &put, nullptr);
    } else {
      Print(zl::Doctor::Text(report));
    }
    return report.exitCode;
  } catch (const zl::LauncherError& e) {
    Print(L"ZelkoraDoctor failed: " + e.Message() + L"\r\n");
  } catch (...) {
    Print(L"ZelkoraDoctor failed.\r\n");
  }
  return 3;
}
