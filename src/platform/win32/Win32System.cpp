#include "platform/win32/Win32System.h"

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

#include <objbase.h>

#include <vector>

namespace zl::win32 {

namespace {

static_assert(sizeof(void*) != 4 || sizeof(OSVERSIONINFOEXW) == 284,
              "OSVERSIONINFOEXW must have the size Windows expects");
static_assert(sizeof(MEMORYSTATUSEX) == 64, "MEMORYSTATUSEX must have the size Windows expects");

void AppendHex(std::wstring& out, uint32_t value, int digits) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

// Both folders fit the 255 characters the launcher has always allowed; a longer one (never seen)
// reads as empty rather than cut.
std::wstring FolderFrom(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[255];
  const UINT n = query(buffer, 255);
  if (n == 0 || n >= 255) return std::wstring();
  return std::wstring(buffer, n);
}

// version.dll is not a KnownDLL (see LoadSystemLibrary): loaded from the system folder once and
// kept. Without it no file's version can be read, which callers already handle as "unknown".
struct VersionApi {
  decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW = nullptr;
  decltype(&::GetFileVersionInfoW) GetFileVersionInfoW = nullptr;
  decltype(&::VerQueryValueW) VerQueryValueW = nullptr;
  bool Complete() const {
    return GetFileVersionInfoSizeW != nullptr && GetFileVersionInfoW != nullptr &&
           VerQueryValueW != nullptr;
  }
};

VersionApi LoadVersionApi() {
  VersionApi api;
  UniqueModule dll = LoadSystemLibrary(L"version.dll");
  using SizeFn = decltype(api.GetFileVersionInfoSizeW);
  using InfoFn = decltype(api.GetFileVersionInfoW);
  using QueryFn = decltype(api.VerQueryValueW);
  api.GetFileVersionInfoSizeW = LookUp<SizeFn>(dll.Get(), "GetFileVersionInfoSizeW");
  api.GetFileVersionInfoW = LookUp<InfoFn>(dll.Get(), "GetFileVersionInfoW");
  api.VerQueryValueW = LookUp<QueryFn>(dll.Get(), "VerQueryValueW");
  dll.Release();
  return api;
}

// A local static's first initialisation is guarded across threads by GCC.
const VersionApi& VersionFunctions() {
  static const VersionApi api = LoadVersionApi();
  return api;
}

// An unpaired surrogate is no character. Windows writes one into UTF-8 without telling (as
// U+FFFD since Vista), so it is looked for here rather than left to the conversion.
bool HasUnpairedSurrogate(const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
    if (low) return true;
    if (!high) continue;
    if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
    ++i;
  }
  return false;
}

}  // namespace

std::wstring GuidText(const GUID& guid) {
  std::wstring text = L"{";
  AppendHex(text, guid.Data1, 8);
  text += L'-';
  AppendHex(text, guid.Data2, 4);
  text += L'-';
  AppendHex(text, guid.Data3, 4);
  text += L'-';
  AppendHex(text, guid.Data4[0], 2);
  AppendHex(text, guid.Data4[1], 2);
  text += L'-';
  for (int i = 2; i < 8; ++i) AppendHex(text, guid.Data4[i], 2);
  text += L'}';
  return text;
}

// The Windows version does not change while the launcher runs: it is read once, when the
// platform is made, and every check asks this copy.
Win32System::Win32System() : version_(ReadVersion()) {}

OsVersion Win32System::Version() { return version_; }

OsVersion Win32System::ReadVersion() {
  OSVERSIONINFOEXW info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  OsVersion v;
  v.ok = ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
  if (v.ok) {
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    v.platformId = info.dwPlatformId;
  }
  return v;
}

Wow64State Win32System::IsWow64() {
  // IsWow64Process came with XP SP2; older systems never run us under WOW64.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64Process =
      LookUp<IsWow64ProcessFn>(::GetModuleHandleW(L"kernel32"), "IsWow64Process");
  if (isWow64Process == nullptr) return Wow64State::NoFunction;
  BOOL wow64 = FALSE;
  if (!isWow64Process(::GetCurrentProcess(), &wow64)) return Wow64State::Failed;
  return wow64 ? Wow64State::Yes : Wow64State::No;
}

std::optional<int64_t> Win32System::FreeBytesAvailable(const std::wstring& dir) {
  ULARGE_INTEGER available, total, free;
  if (!::GetDiskFreeSpaceExW(dir.c_str(), &available, &total, &free)) return std::nullopt;
  return static_cast<int64_t>(available.QuadPart);
}

std::optional<uint64_t> Win32System::TotalPhysicalMemory() {
  using GlobalMemoryStatusExFn = BOOL(WINAPI*)(MEMORYSTATUSEX*);
  UniqueModule kernel(::LoadLibraryW(L"kernel32.dll"));
  const auto query = LookUp<GlobalMemoryStatusExFn>(kernel.Get(), "GlobalMemoryStatusEx");
  if (query == nullptr) return std::nullopt;
  MEMORYSTATUSEX status;
  ZeroMemory(&status, sizeof status);
  status.dwLength = sizeof status;
  if (!query(&status)) return std::nullopt;
  return status.ullTotalPhys;
}

int Win32System::ScreenWidth() { return ::GetSystemMetrics(SM_CXSCREEN); }

int Win32System::ScreenHeight() { return ::GetSystemMetrics(SM_CYSCREEN); }

std::wstring Win32System::SystemDirectory() { return FolderFrom(&::GetSystemDirectoryW); }

std::wstring Win32System::WindowsDirectory() { return FolderFrom(&::GetWindowsDirectoryW); }

std::wstring Win32System::SystemWindowsDirectory() {
  return FolderFrom(&::GetSystemWindowsDirectoryW);
}

std::wstring Win32System::Environment(const std::wstring& name) {
  std::vector<wchar_t> buffer(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n =
        ::GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n);  // n counts the terminator when the buffer was too small
  }
  return std::wstring();
}

std::wstring Win32System::ExpandEnvironment(const std::wstring& text) {
  std::vector<wchar_t> buffer(text.size() + 256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n =
        ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return text;
    if (n <= buffer.size()) return std::wstring(buffer.data(), n - 1);  // n counts the NUL
    buffer.resize(n);
  }
  return text;
}

void Win32System::DebugOutput(const std::wstring& text) { ::OutputDebugStringW(text.c_str()); }

std::wstring Win32System::UserName() {
  std::vector<wchar_t> buffer(257);  // UNLEN + 1
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD n = static_cast<DWORD>(buffer.size());
    if (::GetUserNameW(buffer.data(), &n)) return std::wstring(buffer.data());
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || n <= buffer.size()) break;
    buffer.resize(n);
  }
  return std::wstring();
}

std::wstring Win32System::NewGuidText() {
  GUID guid;
  const HRESULT hr = ::CoCreateGuid(&guid);
  if (FAILED(hr)) ThrowWithSystemMessage(L"Cannot create a GUID.", static_cast<DWORD>(hr));
  return GuidText(guid);
}

bool Win32System::RandomBytes(void* buffer, size_t n) {
  // RtlGenRandom has no import name of its own: advapi32 exports it as SystemFunction036.
  using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  static const auto generate =
      LookUp<RtlGenRandomFn>(::LoadLibraryW(L"advapi32.dll"), "SystemFunction036");
  return generate != nullptr && generate(buffer, static_cast<ULONG>(n)) != FALSE;
}

std::optional<FileVersion> Win32System::FileVersionOf(const std::wstring& path) {
  const VersionApi& api = VersionFunctions();
  if (!api.Complete()) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = api.GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (!api.GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::nullopt;
  void* block = nullptr;
  UINT length = 0;
  if (!api.VerQueryValueW(data.data(), L"\\", &block, &length) || block == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO))
    return std::nullopt;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
  FileVersion v;
  v.a = HIWORD(fixed->dwFileVersionMS);
  v.b = LOWORD(fixed->dwFileVersionMS);
  v.c = HIWORD(fixed->dwFileVersionLS);
  v.d = LOWORD(fixed->dwFileVersionLS);
  return v;
}

std::wstring Win32System::CommandLine() { return ::GetCommandLineW(); }

// GetTickCount64 does not exist on XP; callers compare 32-bit ticks with wrap-around.
uint32_t Win32System::TickCount() { return ::GetTickCount(); }

void Win32System::Sleep(uint32_t ms) { ::Sleep(ms); }

std::optional<std::string> Win32System::AnsiText(const std::wstring& text) {
  return AnsiTextIn(::GetACP(), text);
}

std::optional<std::string> AnsiTextIn(UINT codePage, const std::wstring& text,
                                      WideCharToMultiByteFn convert) {
  if (text.empty()) return std::string();
  if (HasUnpairedSurrogate(text)) return std::nullopt;
  // Best fit would map look-alikes (U+FF02 to '"'); without it they become the default
  // character, which the caller learns about and refuses. UTF-8 (the ANSI code page with
  // "Beta: use UTF-8") holds every character: it has neither, and Windows refuses the flag and
  // both default-character parameters there.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length = static_cast<int>(text.size());
  const int size = convert(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string out(static_cast<size_t>(size), '\0');
  BOOL usedDefault = FALSE;
  if (convert(codePage, flags, text.data(), length, &out[0], size, nullptr,
              utf8 ? nullptr : &usedDefault) != size ||
      usedDefault)
    return std::nullopt;
  return out;
}

}  // namespace zl::win32
