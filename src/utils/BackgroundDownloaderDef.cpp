#include "utils/BackgroundDownloaderDef.h"

#include <exception>
#include <memory>

#include "platform/Platform.h"
#include "utils/Text.h"

namespace zl {

std::wstring TBackgroundDownloader::GetSaveAs() {
  if (FSaveAs.empty()) {
    IFileSystem& files = *Platform().files;
    std::wstring name = files.TempFileName(files.TempPath(), L"tmp");
    // Naming creates the file; only the name is wanted, and the caller may change its extension.
    files.DeleteFile(name);
    FSaveAs = name;
  }
  return FSaveAs;
}

void TBackgroundDownloader::Start() {
  Platform().ui->StartThread([this] { Run(); });
}

void TBackgroundDownloader::Run() {
  Execute();
  // The final report is always made: the installer window waits for it to close.
  try {
    Platform().ui->RunOnMainThread([this] { DoProgress(); });
  } catch (...) {
    // Nobody is left on this thread to tell.
  }
  delete this;
}

void TBackgroundDownloader::Fail(const std::wstring& aMessage) {
  FProgressData.Percent = 0;
  FProgressData.Success = false;
  FProgressData.Finished = true;
  FProgressData.ErrorMsg = aMessage;
}

void TBackgroundDownloader::Execute() {
  std::unique_ptr<IWriteStream> target;
  try {
    target = Platform().files->CreateWrite(GetSaveAs());
  } catch (const LauncherError& e) {
    Fail(e.Message());
    return;
  }

  try {
    HttpCallbacks callbacks;
    callbacks.workBegin = [this](int64_t announced) { DownloadWorkBegin(announced); };
    callbacks.work = [this](int64_t received) { DownloadWork(received); };
    callbacks.workEnd = [this] { DownloadWorkEnd(); };
    HttpResponse response = Platform().http->Get(FURL, *target, callbacks);

    // The client hands back error pages and cut-off bodies like any other; installing one of
    // those would run a broken file.
    if (response.status < 200 || response.status > 299) {
      Fail(L"HTTP " + std::to_wstring(response.status));
    } else if (response.contentLength && response.received < *response.contentLength) {
      Fail(L"The download ended after " + std::to_wstring(response.received) + L" of " +
           std::to_wstring(*response.contentLength) + L" bytes.");
    } else if (response.received == 0) {
      Fail(L"The download is empty.");
    } else {
      FProgressData.Percent = 100;
      FProgressData.Success = true;
      FProgressData.Finished = true;
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
    if (FProgressData.Success) Fail(e.Message());
  }
}

void TBackgroundDownloader::DownloadWorkBegin(int64_t aWorkCountMax) {
  FTotalBytes = aWorkCountMax;
  FLastWorkCount = 0;
  FLastTicks = Platform().system->TickCount();
}

void TBackgroundDownloader::DownloadWork(int64_t aWorkCount) {
  FProgressData.Percent =
      FTotalBytes > 0 ? static_cast<double>(aWorkCount) / static_cast<double>(FTotalBytes) * 100
                      : 0;
  Platform().ui->RunOnMainThread([this] { DoProgress(); });
  FLastWorkCount = aWorkCount;
  FLastTicks = Platform().system->TickCount();
}

void TBackgroundDownloader::DownloadWorkEnd() {
  FProgressData.Percent = 100;
  FProgressData.Success = true;
  FProgressData.Finished = true;
}

void TBackgroundDownloader::DoProgress() {
  if (FProgressEvent) FProgressEvent(FProgressData);
}

}  // namespace zl
