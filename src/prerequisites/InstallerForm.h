#pragma once
// InstallerForm: what the "Installer" window decides. It starts one download on its first
// activation, shows the downloader's reports, and on the final one hides the window, runs what
// arrived and closes the window. The window itself is the platform's (IInstallerWindow).

#include <exception>
#include <memory>
#include <string>

#include "prerequisites/BackgroundDownloader.h"

namespace zl {

class IInstallerWindow;

class InstallerForm {
 public:
  InstallerForm();
  ~InstallerForm();
  InstallerForm(const InstallerForm&) = delete;
  InstallerForm& operator=(const InstallerForm&) = delete;

  const std::wstring& URL() const { return url_; }
  void SetURL(const std::wstring& v) { url_ = v; }
  const std::wstring& FileName() const { return file_name_; }
  void SetFileName(const std::wstring& v) { file_name_ = v; }
  // Where the download goes; empty: a temporary name of the downloader's own.
  void SetSaveAs(const std::wstring& v) { save_as_ = v; }
  const std::wstring& UnzipPath() const { return unzip_path_; }
  void SetUnzipPath(const std::wstring& v) { unzip_path_ = v; }
  bool Elevate() const { return elevate_; }
  void SetElevate(bool v) { elevate_ = v; }

  // Shows the window modally until the download and what it runs are over. An error of the
  // run (a damaged ZIP archive) is raised here, after the window has closed.
  void ShowModal();

  void OnActivate(IInstallerWindow& window);
  void OnDownloadProgress(DownloadProgressData data);

 private:
  std::wstring url_;
  bool activated_ = false;
  BackgroundDownloader* downloader_ = nullptr;
  std::wstring file_name_;
  std::wstring unzip_path_;
  std::wstring save_as_;
  bool elevate_ = false;

  IInstallerWindow* window_ = nullptr;
  bool started_ = false;      // from then on the downloader frees itself
  std::exception_ptr error_;  // raised by ShowModal once the window is closed
  // Cleared when the form goes, so a report that still arrives finds nobody.
  std::shared_ptr<InstallerForm*> self_;
};

}  // namespace zl
