#pragma once
// BackgroundDownloader: fetches one file over HTTP into a local file on a thread of its own and
// reports progress to the main thread, synchronously, through ProgressEvent.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"

namespace zl {

struct DownloadProgressData {
  double percent = 0;  // 0 to 100; more when the server sends more than it announced
  bool finished = false;
  bool success = false;  // meaningful once finished
  std::wstring errorMessage;
};

// Whether a finished GET delivered the file, and the message of a failure.
struct DownloadOutcome {
  bool success = false;
  std::wstring errorMessage;
};

// The handler gets its own copy of the record.
using DownloadProgressEvent = std::function<void(DownloadProgressData data)>;

class BackgroundDownloader {
 public:
  // Made suspended on the heap: configure it, then Start runs it once; it frees itself after its
  // final report. One that is never started belongs to whoever made it.
  static BackgroundDownloader* CreateSuspended(const PlatformServices& ports) {
    return new BackgroundDownloader(ports);
  }
  ~BackgroundDownloader() = default;
  BackgroundDownloader(const BackgroundDownloader&) = delete;
  BackgroundDownloader& operator=(const BackgroundDownloader&) = delete;

  const std::wstring& URL() const { return url_; }
  void SetURL(const std::wstring& url) { url_ = url; }
  // Names a fresh temporary file the first time it is read while empty; throws LauncherError
  // when no name can be made.
  std::wstring SaveAs() { return GetSaveAs(); }
  void SetSaveAs(const std::wstring& saveAs) { save_as_ = saveAs; }
  const DownloadProgressEvent& ProgressEvent() const { return progress_event_; }
  void SetProgressEvent(DownloadProgressEvent event) { progress_event_ = std::move(event); }

  // Throws LauncherError when no thread can be started; the object is then not freed.
  void Start();

  // The client hands back error pages and cut-off bodies like any other response: success only
  // for a 2xx status with a body that is not empty and not shorter than announced.
  static DownloadOutcome Judge(const HttpResponse& response);

 private:
  explicit BackgroundDownloader(const PlatformServices& ports) : ports_(ports) {}
  std::wstring GetSaveAs();
  void Run();
  void Execute();
  void Fail(const std::wstring& message);
  void OnWorkBegin(int64_t workCountMax);
  void OnWork(int64_t workCount);
  void OnWorkEnd();
  void DoProgress();

  static constexpr uint32_t kReportEveryMs = 50;

  PlatformServices ports_;
  int64_t total_bytes_ = 0;
  int64_t last_work_count_ = 0;  // bytes received at the last work event
  uint32_t last_ticks_ = 0;      // when the last report was made
  std::wstring url_;
  DownloadProgressData progress_data_;
  DownloadProgressEvent progress_event_;
  std::wstring save_as_;
};

}  // namespace zl
