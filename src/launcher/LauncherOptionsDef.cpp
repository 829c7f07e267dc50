#include "launcher/LauncherOptionsDef.h"

#include "utils/RegistryValues.h"
#include "utils/Text.h"

namespace zl {

const wchar_t* const kLauncherKey = L"SOFTWARE\\Zelkora\\Launcher";
const wchar_t* const kDefaultDownloadServer = L"http://downloads.zelkora.example";

TLauncherOptions LauncherOptions;

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

void TLauncherOptions::Load() {
  Load(RegRoot::LocalMachine);
  Load(RegRoot::CurrentUser);
  std::vector<std::wstring> args = SplitCommandLine(Platform().system->CommandLine());
  std::wstring extra = FExtraOptions;
  for (size_t i = 1; i < args.size(); ++i) extra += L" " + args[i];
  size_t start = 0;
  while (start < extra.size() && static_cast<uint32_t>(extra[start]) <= 32) ++start;
  FExtraOptions = extra.substr(start);
  SetAppTypeFromFile(FAppLocation);
}

void TLauncherOptions::Load(RegRoot aRootKey) {
  if (!Platform().registry->KeyExists(aRootKey, kLauncherKey, RegView::Reg64)) return;
  auto text = [&](const wchar_t* name, std::wstring& field) {
    if (auto v = ReadStringValue(aRootKey, kLauncherKey, name, RegView::Reg64)) field = *v;
  };
  auto dword = [&](const wchar_t* name) {
    return ReadDwordValue(aRootKey, kLauncherKey, name, RegView::Reg64);
  };
  text(L"OrvexAddress", FOrvexAddress);
  text(L"AppLocation", FAppLocation);
  if (auto v = dword(L"SkipCR")) FSkipCR = *v != 0;
  if (auto v = dword(L"SkipPC")) FSkipPC = *v != 0;
  if (auto v = dword(L"PortOffset")) FPortOffset = static_cast<int32_t>(*v);
  // An admin may write the server with a trailing slash; every download path begins with one.
  std::wstring server;
  text(L"DownloadServer", server);
  while (!server.empty() && server.back() == L'/') server.pop_back();
  if (!server.empty()) FDownloadServer = server;
}

void TLauncherOptions::Save() {
  IRegistry& reg = *Platform().registry;
  if (!reg.CreateKey(RegRoot::CurrentUser, kLauncherKey, RegView::Reg64)) return;
  auto put = [&](const wchar_t* name, const std::wstring& value) {
    if (!value.empty())
      WriteStringValue(RegRoot::CurrentUser, kLauncherKey, name, value, RegView::Reg64);
    else
      reg.DeleteValue(RegRoot::CurrentUser, kLauncherKey, name, RegView::Reg64);
  };
  put(L"AppLocation", FAppLocation);
  put(L"OrvexAddress", FOrvexAddress);
}

void TLauncherOptions::SetAppTypeFromFile(const std::wstring& aFile) {
  std::wstring lower = LowerAscii(aFile);
  if (Contains(lower, L"velmont.exe"))
    FAppType = atVelmont;
  else if (Contains(lower, L"quenda.exe"))
    FAppType = atQuenda;
  else
    FAppType = atUnknown;
}

}  // namespace zl
