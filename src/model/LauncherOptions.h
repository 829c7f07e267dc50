#pragma once
// The settings of one run: loaded from the registry (machine, then user) and the command line,
// changed by the checks, partly saved back by the locators, read by the final start. Each run
// holds its own (LaunchRun).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zl {

enum class AppType { Unknown, Velmont, Quenda };

// The launcher's own key, below HKLM and HKCU, always in the 64-bit view.
extern const wchar_t* const kLauncherKey;
// The maker's download server, unless the value "DownloadServer" names another.
extern const wchar_t* const kDefaultDownloadServer;
// The subkey of the launcher's key in HKLM whose values are the installers' SHA-256 checksums.
extern const wchar_t* const kInstallerHashesKey;

class LauncherOptions {
 public:
  const std::wstring& OrvexAddress() const { return orvex_address_; }
  void SetOrvexAddress(const std::wstring& v) { orvex_address_ = v; }
  const std::wstring& AppLocation() const { return app_location_; }
  void SetAppLocation(const std::wstring& v) {
    app_location_ = v;
    SetAppTypeFromFile(app_location_);
  }
  bool SkipCR() const { return skip_cr_; }
  void SetSkipCR(bool v) { skip_cr_ = v; }
  bool SkipPC() const { return skip_pc_; }
  void SetSkipPC(bool v) { skip_pc_ = v; }
  int32_t PortOffset() const { return port_offset_; }
  void SetPortOffset(int32_t v) { port_offset_ = v; }
  const std::wstring& ExtraOptions() const { return extra_options_; }
  void SetExtraOptions(const std::wstring& v) { extra_options_ = v; }
  bool IsVelmont() const { return app_type_ == AppType::Velmont; }
  void SetIsVelmont(bool v) { app_type_ = v ? AppType::Velmont : AppType::Unknown; }
  bool IsQuenda() const { return app_type_ == AppType::Quenda; }
  void SetIsQuenda(bool v) { app_type_ = v ? AppType::Quenda : AppType::Unknown; }
  bool IsUnknown() const { return app_type_ == AppType::Unknown; }
  const std::wstring& ShareLocation() const { return share_location_; }
  void SetShareLocation(const std::wstring& v) { share_location_ = v; }
  // Where installers are downloaded from: scheme and host (and port), no trailing slash.
  const std::wstring& DownloadServer() const { return download_server_; }
  void SetDownloadServer(const std::wstring& v) { download_server_ = v; }
  // The file the trace is appended to ("LogFile", variables expanded); empty for none. Only an
  // absolute path is taken, and the machine's value wins over the user's.
  const std::wstring& LogFile() const { return log_file_; }

  // The admin's machine-wide policy (HKLM only; a user's value of the same name is ignored).
  // An installer without a checksum in "InstallerHashes" is not run.
  bool RequireInstallerHashes() const { return require_installer_hashes_; }
  void SetRequireInstallerHashes(bool v) { require_installer_hashes_ = v; }
  // The servers a discovery reply may name ("AllowedServers"). Without the value any server
  // may; a value that names none lets none.
  bool HasServerList() const { return has_server_list_; }
  const std::vector<std::wstring>& AllowedServers() const { return allowed_servers_; }
  void SetAllowedServers(std::vector<std::wstring> v) {
    allowed_servers_ = std::move(v);
    has_server_list_ = true;
  }
  // True without a list, or when the list holds name, compared without regard to letter case.
  bool IsServerAllowed(const std::wstring& name) const;

  // Both registry roots, then the command line (its first argument is the program), then the
  // application type.
  void Load(IRegistry& registry, ISystem& system, const std::wstring& commandLine);
  void Load(IRegistry& registry, ISystem& system, RegRoot root);
  // The application's location and the server, into the user's key.
  void Save(IRegistry& registry);
  void SetAppTypeFromFile(const std::wstring& file);

 private:
  std::wstring orvex_address_;
  std::wstring app_location_;
  bool skip_cr_ = false;
  bool skip_pc_ = false;
  int32_t port_offset_ = 0;
  std::wstring extra_options_;
  AppType app_type_ = AppType::Unknown;
  std::wstring share_location_;
  std::wstring download_server_ = kDefaultDownloadServer;
  bool download_server_from_machine_ = false;
  std::wstring log_file_;
  bool log_file_from_machine_ = false;
  bool require_installer_hashes_ = false;
  bool has_server_list_ = false;
  std::vector<std::wstring> allowed_servers_;
};

// The runtime's rule for splitting a command line into arguments: separators are the characters
// 1 to 32; empty "" pairs before an argument are skipped; quotes group blanks and are dropped;
// no escape character. The first argument is the program itself.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

}  // namespace zl
