#pragma once
// Trace: the launcher's diagnostic trace for the IT admin, one line per decision. Every line goes
// to the debug output, always, so a debugger or a debug-output viewer shows it without any
// setting; when the admin names a file ("LogFile"), the same lines are appended there too, as
// UTF-8 without byte-order mark and with CRLF line ends, until a write fails: from then on the
// file is left alone (the debug output goes on). Writing never fails the caller.
// Like a logger it is one sink for the whole process: the program block points it at the
// ports it runs on; until then (and in tests that do not look) lines go nowhere.

#include <string>

namespace zl {

class ISystem;
class IFileSystem;

class Trace {
 public:
  Trace() = delete;

  static constexpr const wchar_t* kPrefix = L"ZelkoraLauncher: ";

  // The text with each run of line breaks as " / ", so that it stays one line.
  static std::wstring OneLine(const std::wstring& text);
  // The line as written: the prefix, then the text as one line.
  static std::wstring Format(const std::wstring& text) { return kPrefix + OneLine(text); }
  static void Line(const std::wstring& text);
  // Where lines go: system's debug output and, with a log file, files. Null for nowhere. Set
  // before other threads trace.
  static void SetOutput(ISystem* system, IFileSystem* files);
  // Where the lines are appended from now on, a failed write before forgotten; empty for no
  // file. Set before other threads trace.
  static void SetLogFile(const std::wstring& path);
};

}  // namespace zl
