// The command-line rule and the options' load from a registry filled from the input. Loading
// may only raise the registry helpers' LauncherError, and what it keeps has passed the checks
// made where the values enter.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/LauncherOptions.h"
#include "platform/fake/FakePlatform.h"
#include "utils/HostName.h"

namespace {

// Bytes as Latin-1, so separators, quotes and NUL are all a byte away.
std::wstring Widen(const std::string& bytes) {
  std::wstring out;
  for (char byte : bytes) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  return out;
}

void CheckCommandLineRule(const std::wstring& line) {
  const std::vector<std::wstring> args = zl::SplitCommandLine(line);
  std::wstring joined;
  std::vector<std::wstring> kept;
  for (const std::wstring& arg : args) {
    // Quotes are dropped and a NUL ends the line: neither can be part of an argument.
    if (arg.find(L'"') != std::wstring::npos || arg.find(L'\0') != std::wstring::npos)
      __builtin_trap();
    if (arg.empty()) continue;
    kept.push_back(arg);
    joined += L" \"" + arg + L"\"";
  }
  // Quoting every argument gives the same arguments back.
  if (zl::SplitCommandLine(joined) != kept) __builtin_trap();
}

const wchar_t* const kValueNames[] = {L"OrvexAddress",   L"AppLocation",
                                      L"SkipCR",         L"SkipPC",
                                      L"PortOffset",     L"DownloadServer",
                                      L"ExtraOptions",   L"ShareLocation",
                                      L"AllowedServers", L"RequireInstallerHashes",
                                      L"LogFile"};

bool IsDocumentedError(const std::wstring& message) {
  for (const wchar_t* prefix : {L"Invalid data type for '", L"Failed to get data for '"})
    if (message.rfind(prefix, 0) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  zl::fake::FakePlatform platform;
  const std::wstring commandLine = Widen(input.ConsumeRandomLengthString(256));
  CheckCommandLineRule(commandLine);
  platform.system.commandLine = commandLine;

  for (zl::RegRoot root : {zl::RegRoot::LocalMachine, zl::RegRoot::CurrentUser}) {
    if (!input.ConsumeBool()) continue;
    platform.registry.CreateKey(root, zl::kLauncherKey, zl::RegView::Reg64);
    for (const wchar_t* name : kValueNames) {
      const auto kind = static_cast<zl::RegKind>(input.ConsumeIntegralInRange<int>(0, 6));
      if (kind == zl::RegKind::Missing) continue;
      std::wstring text = Widen(input.ConsumeRandomLengthString(64));
      std::vector<std::wstring> strings;
      if (kind == zl::RegKind::MultiString)
        for (int n = input.ConsumeIntegralInRange<int>(0, 3); n > 0; --n)
          strings.push_back(Widen(input.ConsumeRandomLengthString(32)));
      platform.registry.Set(root, zl::kLauncherKey, name,
                            zl::RegValue(kind, text, input.ConsumeIntegral<uint32_t>(), strings),
                            zl::RegView::Reg64);
    }
  }

  zl::LauncherOptions options;
  try {
    options.Load(platform.registry, platform.system, platform.system.CommandLine());
  } catch (const zl::LauncherError& e) {
    if (!IsDocumentedError(e.Message())) __builtin_trap();
    return 0;
  }
  if (!options.OrvexAddress().empty() && !zl::IsServerName(options.OrvexAddress()))
    __builtin_trap();
  if (!zl::HasValidServerPart(options.AppLocation())) __builtin_trap();
  // Without the admin's list nothing is listed; a listed name is neither empty nor padded.
  if (!options.HasServerList() && !options.AllowedServers().empty()) __builtin_trap();
  for (const std::wstring& name : options.AllowedServers()) {
    if (name.empty()) __builtin_trap();
    for (wchar_t end : {name.front(), name.back()})
      if (end == L' ' || end == L'\t') __builtin_trap();
  }
  // The trace file is absolute: "X:\..." or a UNC path.
  const std::wstring& log = options.LogFile();
  if (!log.empty() && log.rfind(L"\\\\", 0) != 0 &&
      (log.size() < 4 || log.compare(1, 2, L":\\") != 0))
    __builtin_trap();
  const std::wstring& server = options.DownloadServer();
  if (server.rfind(L"http", 0) != 0 || (!server.empty() && server.back() == L'/')) __builtin_trap();
  return 0;
}
