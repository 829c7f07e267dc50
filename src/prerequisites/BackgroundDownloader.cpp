#include "prerequisites/BackgroundDownloader.h"

#include <exception>
#include <memory>

#include "platform/Platform.h"
#include "utils/Text.h"

namespace zl {

std::wstring BackgroundDownloader::GetSaveAs() {
  if (save_as_.empty()) {
    IFileSystem& files = *ports_.files;
    std::wstring name = files.TempFileName(files.TempPath(), L"tmp");
    // Naming creates the file; only the name is wanted, and the caller may change its extension.
    files.DeleteFile(name);
    save_as_ = name;
  }
  return save_as_;
}

void BackgroundDownloader::Start() {
  ports_.ui->StartThread([this] { Run(); }, L"BackgroundDownloader");
}

void BackgroundDownloader::Run() {
  Execute();
  // The final report is always made: the installer window waits for it to close.
  try {
    ports_.ui->RunOnMainThread([this] { DoProgress(); });
  } catch (...) {
    // Nobody is left on this thread to tell.
  }
  delete this;
}

void BackgroundDownloader::Fail(const std::wstring& message) {
  progress_data_.percent = 0;
  progress_data_.success = false;
  progress_data_.finished = true;
  progress_data_.errorMessage = message;
}

void BackgroundDownloader::Execute() {
  std::unique_ptr<IWriteStream> target;
  try {
    target = ports_.files->CreateWrite(GetSaveAs());
  } catch (const LauncherError& e) {
    Fail(e.Message());
    return;
  }

  try {
    HttpCallbacks callbacks;
    callbacks.workBegin = [this](int64_t announced) { OnWorkBegin(announced); };
    callbacks.work = [this](int64_t received) { OnWork(received); };
    callbacks.workEnd = [this] { OnWorkEnd(); };
    HttpResponse response = ports_.http->Get(url_, *target, callbacks);

    const DownloadOutcome outcome = Judge(response);
    if (!outcome.success) {
      Fail(outcome.errorMessage);
    } else {
      progress_data_.percent = 100;
      progress_data_.success = true;
      progress_data_.finished = true;
    }
  } catch (const LauncherError& e) {
    Fail(e.Message());
  } catch (const std::exception& e) {
    Fail(FromUtf8(e.what()));
  } catch (...) {
    Fail(L"The download failed.");
  }

  // A partial file stays where it is.
  try {
    target->Close();
  } catch (const LauncherError& e) {
    if (progress_data_.success) Fail(e.Message());
  }
}

DownloadOutcome BackgroundDownloader::Judge(const HttpResponse& response) {
  // Installing an error page or a cut-off body would run a broken file.
  if (response.status < 200 || response.status > 299)
    return {false, L"HTTP " + std::to_wstring(response.status)};
  if (response.contentLength && response.received < *response.contentLength)
    return {false, L"The download ended after " + std::to_wstring(response.received) + L" of " +
                       std::to_wstring(*response.contentLength) + L" bytes."};
  if (response.received <= 0) return {false, L"The download is empty."};
  return {true, L""};
}

void BackgroundDownloader::OnWorkBegin(int64_t workCountMax) {
  total_bytes_ = workCountMax;
  last_work_count_ = 0;
  last_ticks_ = ports_.system->TickCount();
}

void BackgroundDownloader::OnWork(int64_t workCount) {
  progress_data_.percent =
      total_bytes_ > 0 ? static_cast<double>(workCount) / static_cast<double>(total_bytes_) * 100
                       : 0;
  // Each report holds the download until the window has painted it, and a person sees no more
  // than a few a second: after the first, one per kReportEveryMs, and the one that completes the
  // announced length.
  const uint32_t now = ports_.system->TickCount();
  const bool first = last_work_count_ == 0;
  const bool whole = total_bytes_ > 0 && workCount >= total_bytes_;
  last_work_count_ = workCount;
  if (!first && !whole && now - last_ticks_ < kReportEveryMs) return;
  ports_.ui->RunOnMainThread([this] { DoProgress(); });
  last_ticks_ = ports_.system->TickCount();
}

void BackgroundDownloader::OnWorkEnd() {
  progress_data_.percent = 100;
  progress_data_.success = true;
  progress_data_.finished = true;
}

void BackgroundDownloader::DoProgress() {
  if (progress_event_) progress_event_(progress_data_);
}

}  // namespace zl
