// Stand-in for a business application started by the launcher: no window,
// appends one JSON line describing how it was started, exits 0 (3 when the
// record cannot be written, so a test notices).
//
// Keys: time (seconds since 1970), cmdline (GetCommandLineW), params (the raw command line after
// the program-name token, leading blank kept), args (CommandLineToArgvW), cwd, exe
// (GetModuleFileNameW as returned). Log file: %ZELKORA_STANDIN_LOG% if set, else standin.log next
// to the exe.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

void appendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void appendEscapeU(std::string& out, unsigned int u) {
  static const char hex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 0xF];
}

// UTF-16 to a JSON string literal in UTF-8. A lone surrogate (legal in a
// Windows string, not in UTF-8) is kept as a \u escape so nothing is lost.
std::string jsonString(const std::wstring& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned int c = static_cast<unsigned short>(s[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      appendEscapeU(out, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() &&
               static_cast<unsigned short>(s[i + 1]) >= 0xDC00 &&
               static_cast<unsigned short>(s[i + 1]) <= 0xDFFF) {
      unsigned long lo = static_cast<unsigned short>(s[i + 1]);
      appendUtf8(out,
                 0x10000UL + ((static_cast<unsigned long>(c) - 0xD800UL) << 10) + (lo - 0xDC00UL));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      appendEscapeU(out, c);
    } else {
      appendUtf8(out, c);
    }
  }
  out += "\"";
  return out;
}

// Same token rule as CommandLineToArgvW for argv[0]: a leading quote runs to
// the next quote, otherwise the name ends at the first blank.
std::wstring paramsTail(const std::wstring& cmdline) {
  size_t i = 0;
  if (!cmdline.empty() && cmdline[0] == L'"') {
    size_t close = cmdline.find(L'"', 1);
    i = close == std::wstring::npos ? cmdline.size() : close + 1;
  } else {
    while (i < cmdline.size() && cmdline[i] != L' ' && cmdline[i] != L'\t') ++i;
  }
  return cmdline.substr(i);
}

std::wstring moduleFileName() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(NULL, &buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) return std::wstring(&buf[0], n);
    buf.resize(buf.size() * 2);
  }
}

std::wstring currentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, NULL);
  if (n == 0) return std::wstring();
  std::vector<wchar_t> buf(n + 1);
  DWORD got = GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), &buf[0]);
  return std::wstring(&buf[0], got < buf.size() ? got : 0);
}

std::wstring envVar(const wchar_t* name) {
  DWORD n = GetEnvironmentVariableW(name, NULL, 0);
  if (n == 0) return std::wstring();
  std::vector<wchar_t> buf(n + 1);
  DWORD got = GetEnvironmentVariableW(name, &buf[0], static_cast<DWORD>(buf.size()));
  return std::wstring(&buf[0], got < buf.size() ? got : 0);
}

std::wstring logPath(const std::wstring& exe) {
  std::wstring fromEnv = envVar(L"ZELKORA_STANDIN_LOG");
  if (!fromEnv.empty()) return fromEnv;
  // Wine reports an exe started from a share as "UNC\srv\share\..." with
  // the leading backslashes missing; that would be a relative path here.
  std::wstring dir = exe;
  if (dir.compare(0, 4, L"UNC\\") == 0) dir = L"\\\\" + dir.substr(4);
  size_t slash = dir.find_last_of(L"\\/");
  dir = slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
  return dir + L"standin.log";
}

// Seconds since 1970 with microseconds, from the host clock Wine shares, so a benchmark can
// compare the start with the moment it launched something.
std::string unixTime() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  unsigned long long t =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  t = (t - 116444736000000000ULL) / 10;  // microseconds
  char buf[40];
  wsprintfA(buf, "%lu.%06lu", static_cast<unsigned long>(t / 1000000ULL),
            static_cast<unsigned long>(t % 1000000ULL));
  return buf;
}

int run() {
  const std::string started = unixTime();
  const std::wstring cmdline = GetCommandLineW();
  const std::wstring exe = moduleFileName();

  std::string line = "{\"cmdline\":" + jsonString(cmdline) +
                     ",\"params\":" + jsonString(paramsTail(cmdline)) + ",\"args\":[";
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(cmdline.c_str(), &argc);
  if (argv != NULL) {
    for (int i = 0; i < argc; ++i) {
      if (i > 0) line += ",";
      line += jsonString(argv[i]);
    }
    LocalFree(argv);
  }
  line += "],\"cwd\":" + jsonString(currentDirectory()) + ",\"exe\":" + jsonString(exe) +
          ",\"time\":" + started + "}\n";

  // Append-only access moves every write to the end of the file, and a single
  // WriteFile per record keeps concurrent stand-ins from interleaving lines.
  HANDLE h = CreateFileW(logPath(exe).c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  BOOL ok = WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, NULL);
  CloseHandle(h);
  return ok && written == line.size() ? 0 : 3;
}

}  // namespace

// Both entry points, so it links with and without -municode.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return run(); }
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return run(); }
