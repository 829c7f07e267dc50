#pragma once
// The settings of one run: loaded from the registry (machine, then user) and the command line,
// changed by the checks, partly saved back by the locators, read by the final start.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zl {

enum TAppType { atUnknown, atVelmont, atQuenda };

// The launcher's own key, below HKLM and HKCU, always in the 64-bit view.
extern const wchar_t* const kLauncherKey;
// The maker's download server, unless the value "DownloadServer" names another.
extern const wchar_t* const kDefaultDownloadServer;

class TLauncherOptions {
 public:
  const std::wstring& OrvexAddress() const { return FOrvexAddress; }
  void SetOrvexAddress(const std::wstring& v) { FOrvexAddress = v; }
  const std::wstring& AppLocation() const { return FAppLocation; }
  void SetAppLocation(const std::wstring& v) {
    FAppLocation = v;
    SetAppTypeFromFile(FAppLocation);
  }
  bool SkipCR() const { return FSkipCR; }
  void SetSkipCR(bool v) { FSkipCR = v; }
  bool SkipPC() const { return FSkipPC; }
  void SetSkipPC(bool v) { FSkipPC = v; }
  int32_t PortOffset() const { return FPortOffset; }
  void SetPortOffset(int32_t v) { FPortOffset = v; }
  const std::wstring& ExtraOptions() const { return FExtraOptions; }
  void SetExtraOptions(const std::wstring& v) { FExtraOptions = v; }
  bool IsVelmont() const { return FAppType == atVelmont; }
  void SetIsVelmont(bool v) { FAppType = v ? atVelmont : atUnknown; }
  bool IsQuenda() const { return FAppType == atQuenda; }
  void SetIsQuenda(bool v) { FAppType = v ? atQuenda : atUnknown; }
  bool IsUnknown() const { return FAppType == atUnknown; }
  const std::wstring& ShareLocation() const { return FShareLocation; }
  void SetShareLocation(const std::wstring& v) { FShareLocation = v; }
  // Where installers are downloaded from: scheme and host (and port), no trailing slash.
  const std::wstring& DownloadServer() const { return FDownloadServer; }
  void SetDownloadServer(const std::wstring& v) { FDownloadServer = v; }

  // Both registry roots, then the command line, then the application type.
  void Load();
  void Load(RegRoot aRootKey);
  void Save();
  void SetAppTypeFromFile(const std::wstring& aFile);

 private:
  std::wstring FOrvexAddress;
  std::wstring FAppLocation;
  bool FSkipCR = false;
  bool FSkipPC = false;
  int32_t FPortOffset = 0;
  std::wstring FExtraOptions;
  TAppType FAppType = atUnknown;
  std::wstring FShareLocation;
  std::wstring FDownloadServer = kDefaultDownloadServer;
};

extern TLauncherOptions LauncherOptions;

// The runtime's rule for splitting a command line into arguments: separators are the characters
// 1 to 32; empty "" pairs before an argument are skipped; quotes group blanks and are dropped;
// no escape character. The first argument is the program itself.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

}  // namespace zl
