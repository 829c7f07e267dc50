#include "platform/Platform.h"

namespace zl {

namespace {

// what() is for diagnostics only (a test's failure text, a debugger): every reader of the
// message itself takes Message(). ASCII stays, anything else becomes '?'.
std::string NarrowForDiagnostics(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

LauncherError::LauncherError(std::wstring message)
    : message_(std::move(message)), narrow_(NarrowForDiagnostics(message_)) {}

}  // namespace zl
