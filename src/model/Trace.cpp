#include "model/Trace.h"

#include "platform/Platform.h"
#include "utils/Text.h"

namespace zl {

namespace {

std::wstring& LogFile() {
  static std::wstring path;
  return path;
}

}  // namespace

std::wstring Trace::OneLine(const std::wstring& text) {
  std::wstring line;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != L'\r' && text[i] != L'\n') {
      line += text[i++];
      continue;
    }
    while (i < text.size() && (text[i] == L'\r' || text[i] == L'\n')) ++i;
    line += L" / ";
  }
  return line;
}

void Trace::Line(const std::wstring& text) {
  try {
    const PlatformServices& platform = Platform();
    if (platform.system == nullptr) return;  // nothing installed yet
    const std::wstring line = Format(text);
    platform.system->DebugOutput(line + L"\n");
    if (!LogFile().empty() && platform.files != nullptr)
      platform.files->AppendToFile(LogFile(), ToUtf8(line) + "\r\n");
  } catch (...) {
    // The trace is for the admin; the launch goes on without it.
  }
}

void Trace::SetLogFile(const std::wstring& path) { LogFile() = path; }

}  // namespace zl
