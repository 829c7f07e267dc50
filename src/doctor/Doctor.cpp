#include "doctor/Doctor.h"

#include "model/Trace.h"
#include "steps/LaunchSteps.h"
#include "utils/HostName.h"
#include "utils/Text.h"

namespace zl {

namespace {

const wchar_t* StatusOf(ErrorSeverity severity) {
  switch (severity) {
    case ErrorSeverity::Warning:
      return L"WARNING";
    case ErrorSeverity::Critical:
      return L"CRITICAL";
    default:
      return L"OFFER";
  }
}

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (char c : ToUtf8(text)) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The share's write test, as the dry run recorded it: a file made in the share's own folder.
bool IsShareTestFile(const Change& change, const std::wstring& share) {
  return change.kind == ChangeKind::CreateFile && change.target.size() > share.size() + 1 &&
         change.target.compare(0, share.size() + 1, share + L"\\") == 0;
}

}  // namespace

DoctorReport Doctor::Run(LaunchRun& run, DryRun& dry, const std::wstring& launcherCommandLine) {
  DoctorReport report;
  try {
    run.options.Load(run.Registry(), run.System(), launcherCommandLine);
  } catch (const LauncherError& e) {
    report.checks.push_back({0, L"CRITICAL", e.Message()});
    report.exitCode = 2;
    return report;
  }
  const ChangeLog& log = dry.log;
  dry.ui.TakeQuestions();
  dry.network.TakeSends();
  int seen = 0;
  bool stopped = false;
  std::wstring testFile;  // the share's write test, not made
  for (const LaunchStep& step : LaunchSteps()) {
    if (stopped) break;
    const int n = step.number;
    const size_t changesBefore = log.Changes().size();
    step.run(run);
    const std::vector<std::wstring> asked = dry.ui.TakeQuestions();
    std::vector<DoctorCheck> found;
    for (int i = seen; i < run.findings.Count(); ++i) {
      const LaunchError& e = *run.findings.Items(i);
      // What follows a question nobody answered is not the workstation's fault.
      if (!asked.empty() && e.Severity() == ErrorSeverity::Critical) continue;
      found.push_back({n, StatusOf(e.Severity()), e.Message()});
    }
    seen = run.findings.Count();
    for (const DiscoverySend& sent : dry.network.TakeSends()) {
      const std::wstring to = DottedText(sent.destination) + L", UDP port " + IntToText(sent.port);
      found.push_back({n, L"OK",
                       sent.error.empty()
                           ? L"Discovery sent to " + to
                           : L"Discovery could not be sent to " + to + L": " + sent.error});
    }
    for (const std::wstring& question : asked) found.push_back({n, L"ASK", question});
    if (n == 3) {
      const std::wstring share = L"\\\\" + run.options.OrvexAddress() + L"\\zelkora$";
      for (size_t i = changesBefore; i < log.Changes().size(); ++i)
        if (IsShareTestFile(log.Changes()[i], share)) testFile = log.Changes()[i].target;
      if (!testFile.empty())
        found.push_back({n, L"SKIPPED", L"The write test of " + share + L" was not performed."});
    }
    if (found.empty()) found.push_back({n, L"OK", step.label});
    report.checks.insert(report.checks.end(), found.begin(), found.end());
    stopped = !asked.empty() || run.findings.IsFatal();
  }
  if (!stopped)
    report.commandLine =
        L"\"" + run.options.AppLocation() + L"\"" + BuildApplicationParameters(run.options);
  for (const Change& change : log.Changes()) {
    // The share's write test is reported as skipped, not as a change.
    const bool testFileChange =
        !testFile.empty() && change.target == testFile &&
        (change.kind == ChangeKind::CreateFile || change.kind == ChangeKind::DeleteFile);
    if (!testFileChange) report.changes.push_back(change.Text());
  }
  for (const DoctorCheck& c : report.checks) {
    if (c.status == L"CRITICAL") report.exitCode = 2;
    if (report.exitCode == 0 && c.status != L"OK" && c.status != L"SKIPPED") report.exitCode = 1;
  }
  return report;
}

std::wstring Doctor::Text(const DoctorReport& report) {
  std::wstring text;
  for (const DoctorCheck& c : report.checks) {
    std::wstring status = c.status;
    status.resize(8, L' ');
    text +=
        L"step " + IntToText(c.step) + L"  " + status + L"  " + Trace::OneLine(c.message) + L"\r\n";
  }
  text += L"command line: " +
          (report.commandLine.empty() ? L"(the application would not be started)"
                                      : Trace::OneLine(report.commandLine)) +
          L"\r\n";
  if (!report.changes.empty()) {
    text += L"the launcher would change:\r\n";
    for (const std::wstring& change : report.changes)
      text += L"  " + Trace::OneLine(change) + L"\r\n";
  }
  return text + L"exit code: " + IntToText(report.exitCode) + L"\r\n";
}

std::string Doctor::Json(const DoctorReport& report) {
  std::string json = "{\"checks\": [";
  for (size_t i = 0; i < report.checks.size(); ++i) {
    const DoctorCheck& c = report.checks[i];
    json += (i ? ", " : "") + std::string("{\"step\": ") + std::to_string(c.step) +
            ", \"status\": " + JsonString(c.status) + ", \"message\": " + JsonString(c.message) +
            "}";
  }
  json += "], \"commandLine\": " + JsonString(report.commandLine) + ", \"changes\": [";
  for (size_t i = 0; i < report.changes.size(); ++i)
    json += (i ? ", " : "") + JsonString(report.changes[i]);
  return json + "], \"exitCode\": " + std::to_string(report.exitCode) + "}\n";
}

}  // namespace zl
