#include "prerequisites/InstallerForm.h"

#include <utility>

#include "model/Trace.h"
#include "platform/Platform.h"
#include "prerequisites/Installer.h"
#include "prerequisites/InstallerPolicy.h"
#include "utils/Paths.h"

namespace zl {

InstallerForm::InstallerForm()
    : downloader_(BackgroundDownloader::CreateSuspended()),
      self_(std::make_shared<InstallerForm*>(this)) {
  // The downloader may outlive the form (a window closed some other way); its reports then find
  // nobody instead of a freed form.
  downloader_->SetProgressEvent([self = self_](DownloadProgressData data) {
    if (*self) (*self)->OnDownloadProgress(std::move(data));
  });
  elevate_ = false;
}

InstallerForm::~InstallerForm() {
  *self_ = nullptr;
  if (!started_) delete downloader_;
}

void InstallerForm::ShowModal() {
  Platform().ui->ShowInstallerWindow([this](IInstallerWindow& window) { OnActivate(window); });
  window_ = nullptr;
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void InstallerForm::OnActivate(IInstallerWindow& window) {
  window_ = &window;
  if (activated_) return;
  activated_ = true;
  try {
    downloader_->SetURL(url_);
    downloader_->SetSaveAs(!save_as_.empty()
                               ? save_as_
                               : ChangeFileExt(downloader_->SaveAs(), ExtractFileExt(file_name_)));
    downloader_->Start();
    started_ = true;
  } catch (const LauncherError& e) {
    // No name or no thread: no report would ever come, and the window has no close box.
    DownloadProgressData failed;
    failed.finished = true;
    failed.errorMessage = e.Message();
    OnDownloadProgress(failed);
  }
}

void InstallerForm::OnDownloadProgress(DownloadProgressData data) {
  // A report after the window has gone is dropped.
  if (window_ == nullptr) return;
  window_->SetStatusText(L"Downloading " + file_name_);
  window_->SetProgress(data.percent);
  if (!data.finished) return;
  window_->Hide();
  if (data.success) {
    // Kept for ShowModal: raised from here it would reach the download thread, and the window
    // would never close.
    try {
      const std::wstring saved = downloader_->SaveAs();
      Trace::Line(L"Downloaded " + url_ + L" to " + saved);
      if (InstallerPolicy::Approve(file_name_, saved))
        Installer::InstallOrRun(saved, elevate_, unzip_path_);
      else
        Platform().files->DeleteFile(saved);
    } catch (...) {
      error_ = std::current_exception();
    }
  } else {
    // The user asked for it: a window that just closes would look like success.
    Installer::ReportNotRun(file_name_, L"could not be downloaded", data.errorMessage);
  }
  window_->Close();
}

}  // namespace zl
