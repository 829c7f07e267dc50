#include "model/LauncherOptions.h"

#include <optional>

#include "utils/RegistryValues.h"
#include "utils/Text.h"
#include "utils/HostName.h"

namespace zl {

const wchar_t* const kLauncherKey = L"SOFTWARE\\Zelkora\\Launcher";
const wchar_t* const kDefaultDownloadServer = L"http://downloads.zelkora.example";
const wchar_t* const kInstallerHashesKey = L"SOFTWARE\\Zelkora\\Launcher\\InstallerHashes";

namespace {

// "http://host..." or "https://host...": anything else would hand the installers' download to
// another kind of handler.
bool IsDownloadUrl(const std::wstring& text) {
  const std::wstring lower = LowerAscii(text);
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    const std::wstring s = scheme;
    if (lower.compare(0, s.size(), s) == 0 && lower.size() > s.size() && lower[s.size()] != L'/')
      return true;
  }
  return false;
}

// "X:\..." or "\\server\share\...": a relative path would put the trace wherever the launcher
// happens to run from, and "\\.\" or "\\?\" name devices, not files.
bool IsAbsoluteFilePath(const std::wstring& path) {
  const wchar_t drive = path.empty() ? L'\0' : path[0];
  if (((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')) &&
      path.compare(1, 2, L":\\") == 0)
    return path.size() > 3;
  if (path.compare(0, 2, L"\\\\") != 0) return false;
  const size_t share = path.find(L'\\', 2);
  if (share == std::wstring::npos || !IsServerName(path.substr(2, share - 2))) return false;
  const size_t file = path.find(L'\\', share + 1);
  return file != std::wstring::npos && file > share + 1 && file + 1 < path.size();
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  size_t i = 0, n = commandLine.size();
  // A NUL ends the line, as it would for the runtime.
  size_t end = commandLine.find(L'\0');
  if (end != std::wstring::npos) n = end;
  auto isSeparator = [](wchar_t c) { return c >= 1 && c <= 32; };
  for (;;) {
    for (;;) {
      while (i < n && isSeparator(commandLine[i])) ++i;
      if (i + 1 < n && commandLine[i] == L'"' && commandLine[i + 1] == L'"')
        i += 2;
      else
        break;
    }
    if (i >= n) break;
    std::wstring arg;
    while (i < n && !isSeparator(commandLine[i])) {
      if (commandLine[i] == L'"') {
        ++i;
        while (i < n && commandLine[i] != L'"') arg += commandLine[i++];
        if (i < n) ++i;
      } else {
        arg += commandLine[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

void LauncherOptions::Load(IRegistry& registry, ISystem& system, const std::wstring& commandLine) {
  Load(registry, system, RegRoot::LocalMachine);
  Load(registry, system, RegRoot::CurrentUser);
  std::vector<std::wstring> args = SplitCommandLine(commandLine);
  std::wstring extra = extra_options_;
  for (size_t i = 1; i < args.size(); ++i) extra += L" " + args[i];
  size_t start = 0;
  while (start < extra.size() && static_cast<uint32_t>(extra[start]) <= 32) ++start;
  extra_options_ = extra.substr(start);
  SetAppTypeFromFile(app_location_);
}

void LauncherOptions::Load(IRegistry& registry, ISystem& system, RegRoot root) {
  if (!registry.KeyExists(root, kLauncherKey, RegView::Reg64)) return;
  auto text = [&](const wchar_t* name, std::wstring& field) {
    if (auto v = ReadStringValue(registry, root, kLauncherKey, name, RegView::Reg64)) field = *v;
  };
  auto dword = [&](const wchar_t* name) {
    return ReadDwordValue(registry, root, kLauncherKey, name, RegView::Reg64);
  };
  // A server's name goes into zone keys and onto the application's command line: a saved
  // address, or a saved share path, whose server is no plain name counts as not set. The value
  // itself stays in the registry for the admin to correct.
  if (auto v = ReadStringValue(registry, root, kLauncherKey, L"OrvexAddress", RegView::Reg64))
    if (v->empty() || IsServerName(*v)) orvex_address_ = *v;
  if (auto v = ReadStringValue(registry, root, kLauncherKey, L"AppLocation", RegView::Reg64))
    if (HasValidServerPart(*v)) app_location_ = *v;
  if (auto v = dword(L"SkipCR")) skip_cr_ = *v != 0;
  if (auto v = dword(L"SkipPC")) skip_pc_ = *v != 0;
  if (auto v = dword(L"PortOffset")) port_offset_ = static_cast<int32_t>(*v);
  // An admin may write the server with a trailing slash; every download path begins with one.
  // The machine's value wins: what the user's may name is started elevated.
  std::wstring server;
  text(L"DownloadServer", server);
  while (!server.empty() && server.back() == L'/') server.pop_back();
  if (IsDownloadUrl(server) && !(root == RegRoot::CurrentUser && download_server_from_machine_)) {
    download_server_ = server;
    download_server_from_machine_ = root == RegRoot::LocalMachine;
  }
  // REG_SZ as written, REG_EXPAND_SZ with its variables expanded. Another type, or a path that
  // is not absolute, is ignored: a diagnostic setting never stops the launch. The admin's file
  // wins, so a user can neither silence nor redirect the admin's trace; an empty one leaves
  // the choice to the user.
  const RegValue log = registry.ReadValue(root, kLauncherKey, L"LogFile", RegView::Reg64);
  std::optional<std::wstring> logFile;
  if (log.kind == RegKind::String) logFile = log.text;
  if (log.kind == RegKind::ExpandString) logFile = system.ExpandEnvironment(log.text);
  if (logFile && (logFile->empty() || IsAbsoluteFilePath(*logFile)) &&
      !(root == RegRoot::CurrentUser && log_file_from_machine_)) {
    log_file_ = *logFile;
    log_file_from_machine_ = root == RegRoot::LocalMachine && !logFile->empty();
  }
  if (root == RegRoot::LocalMachine) {
    if (auto v = dword(L"RequireInstallerHashes")) require_installer_hashes_ = *v != 0;
    // A list the admin set is kept even when it names no server: then no reply is believed.
    if (auto v =
            ReadMultiStringValue(registry, root, kLauncherKey, L"AllowedServers", RegView::Reg64)) {
      has_server_list_ = true;
      allowed_servers_.clear();
      for (std::wstring name : *v) {
        while (!name.empty() && (name.back() == L' ' || name.back() == L'\t')) name.pop_back();
        while (!name.empty() && (name.front() == L' ' || name.front() == L'\t')) name.erase(0, 1);
        if (!name.empty()) allowed_servers_.push_back(name);
      }
    }
  }
}

bool LauncherOptions::IsServerAllowed(const std::wstring& name) const {
  if (!has_server_list_) return true;
  const std::wstring lower = LowerAscii(name);
  for (const std::wstring& allowed : allowed_servers_)
    if (LowerAscii(allowed) == lower) return true;
  return false;
}

void LauncherOptions::Save(IRegistry& reg) {
  if (!reg.CreateKey(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64)) return;
  auto put = [&](const wchar_t* name, const std::wstring& value) {
    if (!value.empty())
      WriteStringValue(reg, RegRoot::CurrentUser, kLauncherKey, name, value, RegView::Reg64);
    else
      reg.DeleteValue(RegRoot::CurrentUser, kLauncherKey, name, RegView::Reg64);
  };
  put(L"AppLocation", app_location_);
  put(L"OrvexAddress", orvex_address_);
}

void LauncherOptions::SetAppTypeFromFile(const std::wstring& file) {
  std::wstring lower = LowerAscii(file);
  if (Contains(lower, L"velmont.exe"))
    app_type_ = AppType::Velmont;
  else if (Contains(lower, L"quenda.exe"))
    app_type_ = AppType::Quenda;
  else
    app_type_ = AppType::Unknown;
}

}  // namespace zl
