#pragma once
// TBackgroundDownloader: fetches one file over HTTP into a local file on a thread of its own and
// reports progress to the main thread, synchronously, through ProgressEvent.

#include <cstdint>
#include <functional>
#include <string>

namespace zl {

struct TDownloadProgressData {
  double Percent = 0;  // 0 to 100; more when the server sends more than it announced
  bool Finished = false;
  bool Success = false;  // meaningful once Finished
  std::wstring ErrorMsg;
};

// The handler gets its own copy of the record.
using TDownloadProgressEvent = std::function<void(TDownloadProgressData aData)>;

class TBackgroundDownloader {
 public:
  // Made suspended on the heap: configure it, then Start runs it once; it frees itself after its
  // final report. One that is never started belongs to whoever made it.
  static TBackgroundDownloader* CreateSuspended() { return new TBackgroundDownloader(); }
  ~TBackgroundDownloader() = default;
  TBackgroundDownloader(const TBackgroundDownloader&) = delete;
  TBackgroundDownloader& operator=(const TBackgroundDownloader&) = delete;

  const std::wstring& URL() const { return FURL; }
  void SetURL(const std::wstring& aURL) { FURL = aURL; }
  // Names a fresh temporary file the first time it is read while empty; throws LauncherError
  // when no name can be made.
  std::wstring SaveAs() { return GetSaveAs(); }
  void SetSaveAs(const std::wstring& aSaveAs) { FSaveAs = aSaveAs; }
  const TDownloadProgressEvent& ProgressEvent() const { return FProgressEvent; }
  void SetProgressEvent(TDownloadProgressEvent aEvent) { FProgressEvent = std::move(aEvent); }

  // Throws LauncherError when no thread can be started; the object is then not freed.
  void Start();

 private:
  TBackgroundDownloader() = default;
  std::wstring GetSaveAs();
  void Run();
  void Execute();
  void Fail(const std::wstring& aMessage);
  void DownloadWorkBegin(int64_t aWorkCountMax);
  void DownloadWork(int64_t aWorkCount);
  void DownloadWorkEnd();
  void DoProgress();

  int64_t FTotalBytes = 0;
  int64_t FLastWorkCount = 0;
  uint32_t FLastTicks = 0;
  std::wstring FURL;
  TDownloadProgressData FProgressData;
  TDownloadProgressEvent FProgressEvent;
  std::wstring FSaveAs;
};

}  // namespace zl
