#pragma once
// TInstallerForm: what the "Installer" window decides. It starts one download on its first
// activation, shows the downloader's reports, and on the final one hides the window, runs what
// arrived and closes the window. The window itself is the platform's (IInstallerWindow).

#include <exception>
#include <memory>
#include <string>

#include "utils/BackgroundDownloaderDef.h"

namespace zl {

class IInstallerWindow;

class TInstallerForm {
 public:
  TInstallerForm();
  ~TInstallerForm();
  TInstallerForm(const TInstallerForm&) = delete;
  TInstallerForm& operator=(const TInstallerForm&) = delete;

  const std::wstring& URL() const { return FURL; }
  void SetURL(const std::wstring& v) { FURL = v; }
  const std::wstring& FileName() const { return FFileName; }
  void SetFileName(const std::wstring& v) { FFileName = v; }
  const std::wstring& UnzipPath() const { return FUnzipPath; }
  void SetUnzipPath(const std::wstring& v) { FUnzipPath = v; }
  bool Elevate() const { return FElevate; }
  void SetElevate(bool v) { FElevate = v; }

  // Shows the window modally until the download and what it runs are over. An error of the
  // run (a damaged ZIP archive) is raised here, after the window has closed.
  void ShowModal();

  void FormActivate(IInstallerWindow& aWindow);
  void DownloadProgress(TDownloadProgressData aData);

 private:
  std::wstring FURL;
  bool FActivated = false;
  TBackgroundDownloader* FDownloader = nullptr;
  std::wstring FFileName;
  std::wstring FUnzipPath;
  bool FElevate = false;

  IInstallerWindow* FWindow = nullptr;
  bool FStarted = false;      // from then on the downloader frees itself
  std::exception_ptr FError;  // raised by ShowModal once the window is closed
  // Cleared when the form goes, so a report that still arrives finds nobody.
  std::shared_ptr<TInstallerForm*> FSelf;
};

}  // namespace zl
