#include "platform/win32/Win32Http.h"

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <type_traits>
#include <vector>

namespace zl::win32 {

namespace {

constexpr wchar_t kAgent[] = L"ZelkoraLauncher/1.0";
// InternetReadFile returns only when the buffer is full or the body has ended, so the read size
// sets how often progress is reported. Reads start at 64 KiB and adapt so that one takes some
// tens of milliseconds: larger on a fast network, where each WinINet call and each report (a
// hand-over to the main thread) would otherwise cost more than the data (at 64 KiB a loopback
// transfer ran at a third of curl's speed under Wine); smaller on a slow link, where a 64 KiB
// read could keep the progress bar still for seconds.
constexpr DWORD kFirstChunk = 64 * 1024;
constexpr DWORD kMinChunk = 16 * 1024;
constexpr DWORD kMaxChunk = 2 * 1024 * 1024;
constexpr DWORD kGrowBelowMs = 50;
constexpr DWORD kShrinkAboveMs = 250;

DWORD NextChunk(DWORD chunk, DWORD read, DWORD elapsedMs) {
  if (read == chunk && elapsedMs < kGrowBelowMs) return std::min(chunk * 2, kMaxChunk);
  if (elapsedMs > kShrinkAboveMs) return std::max(chunk / 2, kMinChunk);
  return chunk;
}

// wininet.dll is not a KnownDLL: imported, it would be looked up beside the exe first (see
// LoadSystemLibrary). It is loaded from the system folder once, on first use, and kept until the
// process ends: its handles and its message texts outlive any one download.
struct WinInetApi {
  HMODULE module = nullptr;
  std::wstring error;  // why downloads cannot work; empty when every function was found
  decltype(&::InternetOpenW) InternetOpenW = nullptr;
  decltype(&::InternetOpenUrlW) InternetOpenUrlW = nullptr;
  decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
  decltype(&::InternetGetLastResponseInfoW) InternetGetLastResponseInfoW = nullptr;
};

WinInetApi LoadWinInet() {
  WinInetApi api;
  UniqueModule dll = LoadSystemLibrary(L"wininet.dll");
  if (!dll) {
    api.error =
        L"Cannot load wininet.dll from the system folder. " + SystemMessage(::GetLastError());
    return api;
  }
  const auto find = [&](auto& fn, const char* name) {
    fn = LookUp<std::remove_reference_t<decltype(fn)>>(dll.Get(), name);
    if (fn == nullptr && api.error.empty())
      api.error =
          L"The system's wininet.dll has no " + std::wstring(name, name + std::strlen(name)) + L".";
  };
  find(api.InternetOpenW, "InternetOpenW");
  find(api.InternetOpenUrlW, "InternetOpenUrlW");
  find(api.HttpQueryInfoW, "HttpQueryInfoW");
  find(api.InternetReadFile, "InternetReadFile");
  find(api.InternetCloseHandle, "InternetCloseHandle");
  find(api.InternetGetLastResponseInfoW, "InternetGetLastResponseInfoW");
  api.module = dll.Release();
  return api;
}

// GCC guards a local static's first initialisation across threads (here the download thread and
// the main thread), with the toolchain's win32 threads, so nothing newer than XP is needed.
const WinInetApi& WinInet() {
  static const WinInetApi api = LoadWinInet();
  return api;
}

const WinInetApi& RequireWinInet() {
  const WinInetApi& api = WinInet();
  if (!api.error.empty()) throw LauncherError(api.error);
  return api;
}

// WinInet is loaded at run time (never imported), so its handles close through the table. A
// handle exists only when the table is complete.
struct WinInetHandleTraits {
  using Type = HINTERNET;
  static Type Empty() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static bool Close(Type h) noexcept { return WinInet().InternetCloseHandle(h) != FALSE; }
};
using WinInetHandle = Unique<WinInetHandleTraits>;

[[noreturn]] void ThrowInternet(DWORD error) { throw LauncherError(InternetErrorText(error)); }

bool HasScheme(const std::wstring& url, const wchar_t* scheme) {
  for (size_t i = 0; scheme[i] != L'\0'; ++i)
    if (i >= url.size() || std::towlower(url[i]) != scheme[i]) return false;
  return true;
}

// The server's own words after ERROR_INTERNET_EXTENDED_ERROR (an FTP or proxy reply).
std::wstring LastResponseInfo() {
  const WinInetApi& api = WinInet();
  if (!api.error.empty()) return std::wstring();
  DWORD code = 0;
  DWORD length = 0;
  api.InternetGetLastResponseInfoW(&code, nullptr, &length);
  if (length == 0) return std::wstring();
  std::vector<wchar_t> text(length + 1, L'\0');
  if (!api.InternetGetLastResponseInfoW(&code, text.data(), &length)) return std::wstring();
  return std::wstring(text.data());
}

std::optional<int64_t> ContentLength(HINTERNET request) {
  wchar_t text[64];
  DWORD bytes = sizeof text;
  if (!WinInet().HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &bytes, nullptr))
    return std::nullopt;  // ERROR_HTTP_HEADER_NOT_FOUND: chunked, or ended by closing
  return ParseContentLength(std::wstring(text, bytes / sizeof(wchar_t)));
}

}  // namespace

std::wstring InternetErrorText(DWORD error) {
  // WinINet's 12xxx texts live in wininet.dll's message table, not the system's; with both flags
  // FormatMessageW looks in the module first and then in the system.
  wchar_t buffer[1024];
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      WinInet().module, error, 0, buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]),
      nullptr);
  std::wstring text(buffer, n);
  if (error == ERROR_INTERNET_EXTENDED_ERROR) text += L" " + LastResponseInfo();
  while (!text.empty() && (std::iswspace(text.back()) || text.back() == L'.')) text.pop_back();
  if (text.empty()) text = L"Internet error";
  return text + L" (" + std::to_wstring(error) + L").";
}

std::optional<int64_t> ParseContentLength(const std::wstring& text) {
  size_t i = 0, end = text.size();
  while (i < end && (text[i] == L' ' || text[i] == L'\t')) ++i;
  while (end > i && (text[end - 1] == L' ' || text[end - 1] == L'\t' || text[end - 1] == L'\0'))
    --end;
  if (i == end) return std::nullopt;
  int64_t value = 0;
  for (; i < end; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
    const int digit = text[i] - L'0';
    if (value > (INT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

HttpResponse Win32Http::Get(const std::wstring& url, IWriteStream& target,
                            const HttpCallbacks& callbacks) {
  // InternetOpenUrlW would also fetch ftp:// and file:// addresses, which have no status line.
  if (!HasScheme(url, L"http://") && !HasScheme(url, L"https://"))
    ThrowInternet(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  const WinInetApi& api = RequireWinInet();

  // PRECONFIG: the workstation's Internet settings, so a mandatory proxy is used. A direct
  // connection never gets out of such networks.
  WinInetHandle session(
      api.InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) ThrowInternet(::GetLastError());

  // NO_CACHE_WRITE: otherwise WinINet keeps a second full copy of every download in its cache.
  // https is chosen by the scheme. No redirect is followed, to another host least of all: a 3xx
  // answer is the download's status, and a failure.
  const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_UI |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
  WinInetHandle request(api.InternetOpenUrlW(session.Get(), url.c_str(), nullptr, 0, flags, 0));
  if (!request) ThrowInternet(::GetLastError());

  HttpResponse response;
  // An error status is still a response: WinINet succeeds on a 404, the caller decides.
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!api.HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr))
    ThrowInternet(::GetLastError());
  response.status = static_cast<int>(status);
  response.contentLength = ContentLength(request.Get());

  if (callbacks.workBegin) callbacks.workBegin(response.contentLength.value_or(0));
  std::vector<char> buffer;
  DWORD chunk = kFirstChunk;
  for (;;) {
    if (buffer.size() < chunk) buffer.resize(chunk);
    DWORD read = 0;
    const DWORD start = ::GetTickCount();
    if (!api.InternetReadFile(request.Get(), buffer.data(), chunk, &read))
      ThrowInternet(::GetLastError());
    if (read == 0) break;
    chunk = NextChunk(chunk, read, ::GetTickCount() - start);
    target.Write(buffer.data(), read);
    response.received += read;
    if (callbacks.work) callbacks.work(response.received);
  }
  // A connection closed before the announced length reads as a normal end in WinINet; the file
  // would be cut short without anyone noticing. (A chunked body has no length to check.)
  if (response.contentLength && response.received < *response.contentLength)
    ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED);
  if (response.received > 0 && callbacks.workEnd) callbacks.workEnd();
  return response;
}

}  // namespace zl::win32
