#pragma once
// TZelLauncherForm: the launcher's one window and the six-step launch sequence it drives. The
// window itself (controls, painting) is a humble view behind IMainView; what it shows and when
// is decided here, so the sequence and its reports run under test without a screen.

#include <atomic>
#include <memory>
#include <string>

#include "launcher/BGWorkerDef.h"
#include "launcher/ErrorUtils.h"

namespace zl {

class IMainView {
 public:
  virtual ~IMainView() = default;
  virtual void SetProgress(double value) = 0;  // 0 to 100
  virtual void SetStatusText(const std::wstring& text) = 0;
};

extern const wchar_t* const kLauncherCaption;

class TZelLauncherForm {
 public:
  explicit TZelLauncherForm(IMainView& view) : view_(view) {}

  void FormCreate();
  void FormActivate();
  void Launch();
  void UpdateProgress(const std::wstring& progressText, int progressStep);
  bool ReportErrors(bool aShowWarnings);
  void RunApplication();
  void WorkerTerminate(TBGWorker* Sender);

  int NUMBER_OF_STEPS = 6;
  TBGWorker* FBGWorker = nullptr;
  std::atomic<bool> FIsLaunching{false};
  std::unique_ptr<TLaunchErrorList> FCurrentErrors;

 private:
  IMainView& view_;
};

// The parameter text the application is started with, built from the options.
std::wstring BuildApplicationParameters();
// The folder part of a path with its final backslash (or drive colon); empty without one.
std::wstring ExtractFilePath(const std::wstring& path);

}  // namespace zl
