#include "prerequisites/InstallerForm.h"

#include <utility>

#include "utils/Paths.h"

namespace zl {

InstallerForm::InstallerForm(const PlatformServices& ports)
    : ui_(*ports.ui),
      downloader_(BackgroundDownloader::CreateSuspended(ports)),
      self_(std::make_shared<InstallerForm*>(this)) {
  // The downloader may outlive the form (a window closed some other way); its reports then find
  // nobody instead of a freed form.
  downloader_->SetProgressEvent([self = self_](DownloadProgressData data) {
    if (*self) (*self)->OnDownloadProgress(std::move(data));
  });
}

InstallerForm::~InstallerForm() {
  *self_ = nullptr;
  if (!started_) delete downloader_;
}

std::optional<InstallerDownload> InstallerForm::ShowModal() {
  ui_.ShowInstallerWindow([this](IInstallerWindow& window) { OnActivate(window); });
  window_ = nullptr;
  return std::exchange(result_, std::nullopt);
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
  InstallerDownload result;
  result.success = data.success;
  result.errorMessage = data.errorMessage;
  // Named when the download started, so this does not throw.
  if (data.success) result.file = downloader_->SaveAs();
  result_ = result;
  window_->Close();
}

}  // namespace zl
