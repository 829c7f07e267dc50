#pragma once
// LaunchSequence: the six-step launch sequence and what the main window shows while it runs. The
// window itself (painting) is a humble view behind IMainView; what it shows and when is decided
// here, so the sequence and its reports run under test without a screen. The program block
// creates both, with the run they work on, and wires the window's events to OnCreate and
// OnActivate.

#include <atomic>
#include <string>

#include "model/BGWorker.h"
#include "model/LaunchRun.h"
#include "platform/Platform.h"

namespace zl {

class LaunchSequence {
 public:
  static constexpr int kNumberOfSteps = 6;

  LaunchSequence(IMainView& view, LaunchRun& run) : view_(view), run_(run) {}
  LaunchSequence(const LaunchSequence&) = delete;
  LaunchSequence& operator=(const LaunchSequence&) = delete;

  // The window exists: it shows no status yet.
  void OnCreate();
  // The window was activated: the first activation starts the worker.
  void OnActivate();
  void Launch();
  void UpdateProgress(const std::wstring& progressText, int progressStep);
  bool ReportErrors(bool showWarnings);
  // The trace's record of the options this run uses, and of the step that has ended.
  void TraceOptions();
  void EndStep();
  void RunApplication();
  void OnWorkerTerminate(BGWorker* sender);

  LaunchErrorList& Errors() { return run_.findings; }

 private:
  IMainView& view_;
  LaunchRun& run_;
  BGWorker* worker_ = nullptr;
  std::atomic<bool> is_launching_{false};
  int step_ = 0;  // the step under way, 0 before the first
  uint32_t step_started_ = 0;
};

}  // namespace zl
