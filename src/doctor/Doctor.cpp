#include "doctor/Doctor.h"

#include "checks/NetworkInspector.h"
#include "checks/PCInspector.h"
#include "checks/ProgramLocator.h"
#include "discovery/OrvexLocator.h"
#include "launcher/LaunchSequence.h"
#include "model/LaunchError.h"
#include "model/LauncherOptions.h"
#include "model/ShareCache.h"
#include "model/Trace.h"
#include "prerequisites/AppInspector.h"
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

// Passes everything on and keeps where each discovery datagram went, for the report.
class SendNotingNetwork : public INetwork {
 public:
  explicit SendNotingNetwork(INetwork& inner) : inner_(inner) {}
  std::vector<std::wstring> sent;  // one line per destination

  bool ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) override {
    return inner_.ProbeTcp(host, port, timeoutMs);
  }
  std::vector<std::wstring> SendBroadcasts(uint16_t port, const std::string& payload,
                                           const std::vector<uint32_t>& destinations) override {
    const std::vector<std::wstring> errors = inner_.SendBroadcasts(port, payload, destinations);
    for (size_t i = 0; i < destinations.size() && i < errors.size(); ++i) {
      const std::wstring to = DottedText(destinations[i]) + L", UDP port " + IntToText(port);
      sent.push_back(errors[i].empty()
                         ? L"Discovery sent to " + to
                         : L"Discovery could not be sent to " + to + L": " + errors[i]);
    }
    return errors;
  }
  std::vector<NetworkAdapter> Adapters() override { return inner_.Adapters(); }
  std::optional<std::string> ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) override {
    return inner_.ReceiveDatagram(timeoutMs, maxBytes);
  }
  std::optional<std::wstring> HostNameOf(const std::wstring& address) override {
    return inner_.HostNameOf(address);
  }
  std::optional<std::wstring> AddressOf(const std::wstring& name) override {
    return inner_.AddressOf(name);
  }

 private:
  INetwork& inner_;
};

// How the dry-run file system words the share's test file (DryRunFileSystem::CreateEmptyFile).
const std::wstring kCreateFile = L"create file ";

struct Step {
  const wchar_t* name;
  void (*run)(LaunchErrorList&);
};

void LocateApplication(LaunchErrorList& errors) { ProgramLocator::Locate(errors); }

}  // namespace

int DoctorUserInterface::MessageBox(const std::wstring& text, const std::wstring&, uint32_t) {
  asked.push_back({step, L"ASK", text});
  return 1;  // IDOK
}

int DoctorUserInterface::ShowMessageDialog(const MessageDialogSpec& content) {
  asked.push_back({step, L"ASK", content.text});
  return content.closeResult;
}

bool DoctorUserInterface::ShowLocateProgramForm(const LocateProgramFormContent& content) {
  std::wstring text = L"The \"" + content.caption + L"\" window asks for the application:";
  for (const std::wstring& label : content.labels)
    if (!label.empty()) text += L"\r\n" + label;
  asked.push_back({step, L"ASK", text});
  return false;  // as the close box: nobody picks a file
}

std::optional<std::wstring> DoctorUserInterface::ShowOpenFileDialog(
    const OpenFileDialogRequest& request) {
  asked.push_back({step, L"ASK", request.title});
  return std::nullopt;
}

DoctorReport Doctor::Run(DoctorUserInterface& ui, const ChangeLog& log,
                         const std::wstring& launcherCommandLine) {
  DoctorReport report;
  try {
    Options().Load(launcherCommandLine);
  } catch (const LauncherError& e) {
    report.checks.push_back({0, L"CRITICAL", e.Message()});
    report.exitCode = 2;
    return report;
  }
  ShareCache::Forget();
  const PlatformServices installed = Platform();
  SendNotingNetwork network(*installed.network);
  PlatformServices noting = installed;
  noting.network = &network;
  InstallPlatform(noting);
  const Step steps[] = {{L"Checking Local PC", &PCInspector::Inspect},
                        {L"Locating Orvex", &OrvexLocator::Locate},
                        {L"Checking Network", &NetworkInspector::Inspect},
                        {L"Locating Application", &LocateApplication},
                        {L"Checking App Settings", &AppInspector::Inspect}};
  LaunchErrorList errors;
  int seen = 0;
  bool stopped = false;
  std::wstring testFile;  // the share's write test, not made
  for (int n = 1; n <= 5 && !stopped; ++n) {
    ui.step = n;
    ui.asked.clear();
    const size_t changesBefore = log.Changes().size();
    steps[n - 1].run(errors);
    std::vector<DoctorCheck> found;
    for (int i = seen; i < errors.Count(); ++i) {
      const LaunchError& e = *errors.Items(i);
      // What follows a question nobody answered is not the workstation's fault.
      if (!ui.asked.empty() && e.Severity() == ErrorSeverity::Critical) continue;
      found.push_back({n, StatusOf(e.Severity()), e.Message()});
    }
    seen = errors.Count();
    for (const std::wstring& line : network.sent) found.push_back({n, L"OK", line});
    network.sent.clear();
    found.insert(found.end(), ui.asked.begin(), ui.asked.end());
    if (n == 3) {
      const std::wstring share = L"\\\\" + Options().OrvexAddress() + L"\\zelkora$";
      const std::wstring made = kCreateFile + share + L"\\";
      for (size_t i = changesBefore; i < log.Changes().size(); ++i)
        if (log.Changes()[i].compare(0, made.size(), made) == 0)
          testFile = log.Changes()[i].substr(kCreateFile.size());
      if (!testFile.empty())
        found.push_back({n, L"SKIPPED", L"The write test of " + share + L" was not performed."});
    }
    if (found.empty()) found.push_back({n, L"OK", steps[n - 1].name});
    report.checks.insert(report.checks.end(), found.begin(), found.end());
    stopped = !ui.asked.empty() || errors.IsFatal();
  }
  InstallPlatform(installed);
  if (!stopped)
    report.commandLine = L"\"" + Options().AppLocation() + L"\"" + BuildApplicationParameters();
  for (const std::wstring& change : log.Changes())
    if (testFile.empty() ||
        (change != kCreateFile + testFile && change != L"delete file " + testFile))
      report.changes.push_back(change);
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
