#include "discovery/OrvexLocator.h"

#include <algorithm>

#include "discovery/DiscoveryReply.h"
#include "discovery/LocateProgramForm.h"
#include "model/MessageDialog.h"
#include "model/Trace.h"
#include "utils/RegistryValues.h"
#include "utils/Text.h"
#include "utils/Paths.h"
#include "utils/HostName.h"

namespace zl {

const Regex kAppNamePattern(L"(Quenda|Velmont)\\.exe$", true);

namespace {

// 64-bit, so that the base plus any 32-bit offset is exact and a port out of range shows as one.
constexpr int64_t kUdpPortBase = 2868;
constexpr int64_t kTcpPortBase = 2879;
constexpr uint32_t kProbeTimeoutMs = 2000;
constexpr uint32_t kReplyWaitMs = 2000;
constexpr size_t kReplyMaxBytes = 8192;

const wchar_t* const kZoneMap =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap";
const wchar_t* const kNotFoundMessage =
    L"The executable location was not found or is not accessible.\n\r\n\r"
    L"Please contact Zelkora Software support at support@zelkora.example, or call "
    L"1-800-555-0142 or 1-800-555-0143.";

const Regex& DottedAddress() {
  static const Regex pattern(L"\\d+\\.\\d+\\.\\d+\\.\\d+");
  return pattern;
}

bool LookupHostname(INetwork& network, const std::wstring& address, std::wstring& name) {
  auto official = network.HostNameOf(address);
  if (!official) return false;
  // Only the short name: srv01.corp.local gives srv01; a name that begins with a dot stays whole.
  static const Regex firstLabel(L"^([^.]+)");
  auto m = firstLabel.Match(*official);
  name = m ? (*m)[1] : *official;
  // The resolver's answer comes from outside like a discovery reply and goes the same places: a
  // name that is not a plain host name counts as no answer, and the address stays.
  return IsServerName(name);
}

bool LookupAddress(INetwork& network, const std::wstring& hostName, std::wstring& address) {
  auto found = network.AddressOf(hostName);
  if (!found) return false;
  address = *found;
  return true;
}

std::optional<uint16_t> PortOf(int64_t base, const LauncherOptions& options) {
  const int64_t port = base + options.PortOffset();
  if (port < 1 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

// "TCP port 65536 (2879 + PortOffset 62657) is out of range (1 to 65535)"
std::wstring OutOfRange(const wchar_t* protocol, int64_t base, const LauncherOptions& options) {
  return std::wstring(protocol) + L" port " + std::to_wstring(base + options.PortOffset()) + L" (" +
         std::to_wstring(base) + L" + PortOffset " + IntToText(options.PortOffset()) +
         L") is out of range (1 to 65535)";
}

bool ProbeTCP(LaunchRun& run) {
  const LauncherOptions& options = run.options;
  const std::optional<uint16_t> port = OrvexLocator::TcpPort(options);
  if (!port) {
    Trace::Line(L"Probe of " + options.OrvexAddress() + L" not made: " +
                OutOfRange(L"TCP", kTcpPortBase, options));
    return false;
  }
  const bool answered = run.Network().ProbeTcp(options.OrvexAddress(), *port, kProbeTimeoutMs);
  Trace::Line(L"Probe of " + options.OrvexAddress() + L" on TCP port " + IntToText(*port) +
              (answered ? L": answered" : L": no answer, the broadcast follows"));
  return answered;
}

// A datagram as the trace shows it: printable ASCII as it is, any other byte as \xNN.
std::wstring Printable(const std::string& bytes) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<wchar_t>(c);
    } else {
      text += L"\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return text;
}

bool DiscoverUDP(LaunchRun& run) {
  INetwork& net = run.Network();
  ISystem& sys = run.System();
  LauncherOptions& options = run.options;
  // The admin's list fails closed: one that names no server lets no reply count, so none is
  // asked for.
  if (options.HasServerList() && options.AllowedServers().empty()) {
    Trace::Line(
        L"Broadcast not sent: the admin's list of allowed servers (AllowedServers) names none, so "
        L"no reply is accepted");
    return false;
  }
  const std::optional<uint16_t> port = OrvexLocator::UdpPort(options);
  if (!port) {
    Trace::Line(L"Broadcast not sent: " + OutOfRange(L"UDP", kUdpPortBase, options));
    return false;
  }
  // A limited broadcast leaves through one adapter only; the directed ones reach the networks of
  // the others (a docking station, Wi-Fi beside a VPN, a virtual machine's adapter).
  const std::vector<uint32_t> targets = OrvexLocator::BroadcastDestinations(net.Adapters());
  const std::vector<std::wstring> errors = net.SendBroadcasts(*port, "Finding Server", targets);
  bool sent = false;
  for (size_t i = 0; i < targets.size(); ++i) {
    const std::wstring error = i < errors.size() ? errors[i] : L"not sent";
    Trace::Line(L"Broadcast \"Finding Server\" to " + DottedText(targets[i]) + L", UDP port " +
                IntToText(*port) + (error.empty() ? L"" : L": failed, " + error));
    sent = sent || error.empty();
  }
  // Only when no datagram left does the error end the launch, as a failed send always did.
  if (!sent) throw LauncherError(errors.empty() ? L"Socket Error" : errors.front());
  // Unsigned differences keep the deadline right across GetTickCount's wrap after 49.7 days.
  const uint32_t start = sys.TickCount();
  for (;;) {
    uint32_t elapsed = sys.TickCount() - start;
    std::optional<std::string> datagram;
    if (elapsed < kReplyWaitMs)
      datagram = net.ReceiveDatagram(kReplyWaitMs - elapsed, kReplyMaxBytes);
    if (!datagram) {
      Trace::Line(L"No server accepted within " + IntToText(kReplyWaitMs) + L" ms");
      return false;
    }
    const std::wstring reply = L"Reply \"" + Printable(*datagram) + L"\"";
    auto name = ParseDiscoveryReply(*datagram);
    if (!name) {
      Trace::Line(reply + L" ignored: it names no server");
      continue;
    }
    // With the admin's list of servers, a reply naming another is ignored like an invalid one.
    // A listed name or address is used as sent: the name a listed address looks up to may
    // resolve elsewhere. A dotted reply not listed counts by the name its reverse lookup gives.
    std::wstring server = *name;
    if (!options.HasServerList() || !options.IsServerAllowed(*name)) {
      server = OrvexLocator::ResolveHostname(net, *name);
      if (!options.IsServerAllowed(server)) {
        Trace::Line(reply + L" ignored: " + server + L" is not among the allowed servers");
        continue;
      }
    }
    Trace::Line(reply + L" accepted: server " + server);
    options.SetOrvexAddress(server);
    return true;
  }
}

// ---------------------------------------------------------------- intranet zone
std::wstring RangesKey() { return std::wstring(kZoneMap) + L"\\Ranges"; }

std::wstring RangeKey(int n) { return RangesKey() + L"\\Range" + std::to_wstring(n); }

bool ReadZoneRange(IRegistry& reg, int n, std::wstring& address) {
  address.clear();
  const std::wstring key = RangeKey(n);
  if (!reg.KeyExists(RegRoot::CurrentUser, key, RegView::Default)) return false;
  address =
      ReadStringValue(reg, RegRoot::CurrentUser, key, L":Range", RegView::Default).value_or(L"");
  return true;
}

void WriteZoneRange(IRegistry& reg, int n, const std::wstring& address) {
  const std::wstring key = RangeKey(n);
  if (!reg.CreateKey(RegRoot::CurrentUser, key, RegView::Default)) return;
  WriteStringValue(reg, RegRoot::CurrentUser, key, L":Range", address, RegView::Default);
  WriteDwordValue(reg, RegRoot::CurrentUser, key, L"file", 1, RegView::Default);
}

void AddZoneRange(IRegistry& reg, const std::wstring& address) {
  if (!reg.CreateKey(RegRoot::CurrentUser, RangesKey(), RegView::Default)) return;
  // Entries after a gap in the numbering are never looked at; the gap is filled.
  for (int n = 1;; ++n) {
    std::wstring existing;
    if (!ReadZoneRange(reg, n, existing)) {
      WriteZoneRange(reg, n, address);
      return;
    }
    if (existing == address) return;
  }
}

void AddZoneDomain(IRegistry& reg, const std::wstring& name) {
  const std::wstring lower = LowerAscii(name);
  for (const wchar_t* list : {L"Domains", L"ESCDomains"}) {
    const std::wstring key = std::wstring(kZoneMap) + L"\\" + list + L"\\" + lower;
    // An entry the user or an administrator made stays as it is, whatever zone it names.
    if (reg.KeyExists(RegRoot::CurrentUser, key, RegView::Default)) continue;
    if (!reg.CreateKey(RegRoot::CurrentUser, key, RegView::Default)) continue;
    WriteDwordValue(reg, RegRoot::CurrentUser, key, L"file", 1, RegView::Default);
  }
}

// Files on the server belong to the Local intranet zone, so Windows runs the applications from
// the share without the security warning for files from the Internet.
void RegisterZone(LaunchRun& run) {
  // Every way a server enters the launcher checked its name (IsServerName), so it can name a key
  // of the zone map as it is.
  const std::wstring& address = run.options.OrvexAddress();
  if (address.empty()) return;
  if (DottedAddress().Search(address))
    AddZoneRange(run.Registry(), address);
  else
    AddZoneDomain(run.Registry(), address);
}

}  // namespace

std::optional<uint16_t> OrvexLocator::UdpPort(const LauncherOptions& options) {
  return PortOf(kUdpPortBase, options);
}

std::vector<uint32_t> OrvexLocator::BroadcastDestinations(
    const std::vector<NetworkAdapter>& adapters) {
  std::vector<uint32_t> targets = {0xFFFFFFFFu};
  for (const NetworkAdapter& adapter : adapters) {
    if (!adapter.up || adapter.loopback) continue;
    for (const Ipv4Address& a : adapter.addresses) {
      // A /31 or /32 has no broadcast address; a prefix beyond 32 is no network at all.
      if (a.prefixLength < 0 || a.prefixLength > 30) continue;
      const uint32_t host = 0xFFFFFFFFu >> a.prefixLength;
      const uint32_t target = a.address | host;
      if (std::find(targets.begin(), targets.end(), target) == targets.end())
        targets.push_back(target);
    }
  }
  return targets;
}

std::optional<uint16_t> OrvexLocator::TcpPort(const LauncherOptions& options) {
  return PortOf(kTcpPortBase, options);
}

std::wstring OrvexLocator::ResolveHostname(INetwork& network, const std::wstring& value) {
  std::wstring result = value;
  if (DottedAddress().Search(value)) {
    std::wstring name;
    if (LookupHostname(network, value, name)) result = name;
  }
  return result;
}

std::wstring OrvexLocator::ResolveAddress(INetwork& network, const std::wstring& value) {
  if (DottedAddress().Search(value)) return value;
  std::wstring result;
  if (!LookupAddress(network, value, result)) result.clear();
  // A link-local answer means the name resolved only to an unconfigured interface.
  if (result.compare(0, 7, L"169.254") == 0) result = value;
  return result;
}

void OrvexLocator::Locate(LaunchRun& run) {
  LauncherOptions& options = run.options;
  bool found = false;

  if (!options.AppLocation().empty() && !kAppNamePattern.Search(options.AppLocation())) {
    Trace::Line(L"Saved location " + options.AppLocation() + L" names no application: cleared");
    options.SetAppLocation(L"");
    options.Save(run.Registry());
  }

  if (!options.AppLocation().empty()) {
    if (run.cache.CheckFile(options.AppLocation())) {
      options.SetOrvexAddress(GetShareServerName(options.AppLocation()));
      Trace::Line(L"Saved location " + options.AppLocation() + L" found: server \"" +
                  options.OrvexAddress() + L"\"");
      if (!options.OrvexAddress().empty()) RegisterZone(run);
    } else {
      Trace::Line(L"Saved location " + options.AppLocation() + L" not found");
      // The configured address is not probed: it most likely named the server that went away
      // with the saved location.
      options.SetAppLocation(L"");
    }
  } else if (!options.OrvexAddress().empty()) {
    options.SetOrvexAddress(ResolveHostname(run.Network(), options.OrvexAddress()));
    found = ProbeTCP(run);
  }

  if (!found && options.AppLocation().empty()) found = DiscoverUDP(run);

  if (!found) {
    if (options.AppLocation().empty() || !run.cache.CheckFile(options.AppLocation())) {
      Trace::Line(L"No server found: the user is asked for the application");
      options.SetAppLocation(LocateApp(run.Ports()));
    }
    if (!options.AppLocation().empty() && run.cache.CheckFile(options.AppLocation())) {
      options.SetOrvexAddress(GetShareServerName(options.AppLocation()));
      options.Save(run.Registry());
    } else {
      AddFinding(run.findings, kNotFoundMessage, ErrorSeverity::Critical);
    }
  }

  // A server found on the network is used for this run only; nothing is saved.
  if (found) RegisterZone(run);
}

std::wstring OrvexLocator::LocateApp(const PlatformServices& ports) {
  std::wstring result;
  IUserInterface& ui = *ports.ui;
  auto routine = [&result, &ports, &ui] {
    LocateProgramForm form(*ports.shell, ui);
    form.ShowModal();
    if (!form.Proceed()) return;
    OpenFileDialogRequest request;
    request.title = L"Select your Velmont or Quenda executable";
    request.filterName = L"Executable Files (*.exe)";
    request.filterPattern = L"*.exe";
    request.initialDir = L"C:\\";
    if (auto chosen = ui.ShowOpenFileDialog(request)) result = *chosen;
  };
  // Windows belong to the main thread; the worker waits until they are closed.
  ui.RunOnMainThread(routine);

  // A path on a server whose name is no plain host name is refused like a wrong file.
  if (!result.empty() && (!kAppNamePattern.Search(result) || !HasValidServerPart(result))) {
    result.clear();
    MessageDlg(ui, L"Selected application must be Velmont.EXE or Quenda.EXE", MsgDlgType::Error,
               {MsgDlgBtn::OK});
  }
  return result;
}

}  // namespace zl
