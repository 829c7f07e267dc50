#pragma once
// InstallerForm: what the "Installer" window decides. It starts one download on its first
// activation, shows the downloader's reports, and on the final one closes the window and hands
// back what arrived. It only downloads: what is run, and what the user is told, is the
// Installer's. The window itself is the platform's (IInstallerWindow).

#include <memory>
#include <optional>
#include <string>

#include "prerequisites/BackgroundDownloader.h"

namespace zl {

class IInstallerWindow;

// How a download through the window ended.
struct InstallerDownload {
  bool success = false;
  std::wstring file;          // where it went
  std::wstring errorMessage;  // why it failed
};

class InstallerForm {
 public:
  explicit InstallerForm(const PlatformServices& ports);
  ~InstallerForm();
  InstallerForm(const InstallerForm&) = delete;
  InstallerForm& operator=(const InstallerForm&) = delete;

  const std::wstring& URL() const { return url_; }
  void SetURL(const std::wstring& v) { url_ = v; }
  const std::wstring& FileName() const { return file_name_; }
  void SetFileName(const std::wstring& v) { file_name_ = v; }
  // Where the download goes; empty: a temporary name of the downloader's own.
  void SetSaveAs(const std::wstring& v) { save_as_ = v; }

  // Shows the window modally until the download is over; nothing when the window closed before
  // its final report.
  std::optional<InstallerDownload> ShowModal();

  void OnActivate(IInstallerWindow& window);
  void OnDownloadProgress(DownloadProgressData data);

 private:
  IUserInterface& ui_;
  std::wstring url_;
  bool activated_ = false;
  BackgroundDownloader* downloader_ = nullptr;
  std::wstring file_name_;
  std::wstring save_as_;

  IInstallerWindow* window_ = nullptr;
  bool started_ = false;  // from then on the downloader frees itself
  std::optional<InstallerDownload> result_;
  // Cleared when the form goes, so a report that still arrives finds nobody.
  std::shared_ptr<InstallerForm*> self_;
};

}  // namespace zl
