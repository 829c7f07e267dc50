// Stand-in for the report viewer patch for Windows 7 and later, served as
// "Windows 7 64bit Crystal Update.exe" and "Windows 7 32bit Crystal Update.exe". The launcher
// learns of a successful patch only from the marker file %HOMEDRIVE%%HOMEPATH%\CrystalPatched.txt,
// so that is all it writes. Exit code 0 when the marker was written, 1 otherwise (a test notices).
// A GUI program: started through the shell, it must not open a console window.
// Before that it tries, as any other program of the user could, to rename its own file away and
// notes in %HOMEDRIVE%%HOMEPATH%\CrystalPatch.log whether that was refused (the launcher holds
// the file it checked until the run is over) or allowed (then it puts the file back).

#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t buf[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

}  // namespace

// "rename refused" or "rename allowed", for the test that reads the log.
void NoteWhetherTheFileCanBeSwapped() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::wstring away = std::wstring(self) + L".away";
  const bool moved = MoveFileExW(self, away.c_str(), 0) != FALSE;
  if (moved) MoveFileExW(away.c_str(), self, 0);
  const std::wstring log = Env(L"HOMEDRIVE") + Env(L"HOMEPATH") + L"\\CrystalPatch.log";
  HANDLE h = CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const char* text = moved ? "rename allowed\r\n" : "rename refused\r\n";
  DWORD written = 0;
  WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(h);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  NoteWhetherTheFileCanBeSwapped();
  std::wstring marker = Env(L"HOMEDRIVE") + Env(L"HOMEPATH") + L"\\CrystalPatched.txt";
  HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  static const char kText[] = "patched\r\n";
  DWORD written = 0;
  BOOL ok = WriteFile(h, kText, sizeof kText - 1, &written, nullptr);
  CloseHandle(h);
  return ok && written == sizeof kText - 1 ? 0 : 1;
}
