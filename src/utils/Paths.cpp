#include "utils/Paths.h"

#include "utils/Regex.h"

namespace zl {

namespace {

// Compiled once; the compiled code is shared read-only by every thread.
const Regex& PathPattern() {
  static const Regex pattern(L"^(.*\\\\)(.+?)\\\\?$");
  return pattern;
}

const Regex& ServerPattern() {
  static const Regex pattern(L"^\\\\\\\\([^\\\\]+)");
  return pattern;
}

}  // namespace

std::wstring GetFile(const std::wstring& filePath) {
  auto m = PathPattern().Match(filePath);
  return m ? (*m)[2] : filePath;
}

std::wstring GetDir(const std::wstring& filePath) {
  auto m = PathPattern().Match(filePath);
  return m ? (*m)[1] : std::wstring();
}

std::wstring ExtractFilePath(const std::wstring& path) {
  size_t pos = path.find_last_of(L"\\:");
  return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring ExtractFileExt(const std::wstring& path) {
  size_t dot = path.find_last_of(L".\\:");
  if (dot == std::wstring::npos || path[dot] != L'.') return std::wstring();
  return path.substr(dot);
}

std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& ext) {
  // The dot stays: a name given an empty extension ends in a dot.
  size_t dot = path.find_last_of(L".\\:");
  std::wstring stem =
      (dot != std::wstring::npos && path[dot] == L'.') ? path.substr(0, dot + 1) : path + L".";
  return stem + (!ext.empty() && ext[0] == L'.' ? ext.substr(1) : ext);
}

std::wstring JoinPath(const std::wstring& dir, const std::wstring& name) {
  if (!dir.empty() && dir.back() == L'\\') return dir + name;
  return dir + L"\\" + name;
}

std::wstring GetShareServerName(const std::wstring& filePath) {
  auto m = ServerPattern().Match(filePath);
  return m ? (*m)[1] : std::wstring();
}

}  // namespace zl
