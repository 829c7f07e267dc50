#include "model/Trace.h"

#include <atomic>

#include "platform/Platform.h"
#include "utils/Text.h"

namespace zl {

namespace {

struct Sink {
  ISystem* system = nullptr;
  IFileSystem* files = nullptr;
  std::wstring logFile;
  // Set by the first write that fails: a file on an unreachable share would otherwise cost
  // every line its own wait.
  std::atomic<bool> logFileFailed{false};
};

Sink& Output() {
  static Sink sink;
  return sink;
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
    Sink& sink = Output();
    if (sink.system == nullptr) return;  // nowhere to go yet
    const std::wstring line = Format(text);
    sink.system->DebugOutput(line + L"\n");
    if (sink.logFile.empty() || sink.files == nullptr || sink.logFileFailed) return;
    if (!sink.files->AppendToFile(sink.logFile, ToUtf8(line) + "\r\n")) sink.logFileFailed = true;
  } catch (...) {
    // The trace is for the admin; the launch goes on without it.
  }
}

void Trace::SetLogFile(const std::wstring& path) {
  Output().logFile = path;
  Output().logFileFailed = false;
}

void Trace::SetOutput(ISystem* system, IFileSystem* files) {
  Output().system = system;
  Output().files = files;
}

}  // namespace zl
