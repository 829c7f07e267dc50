#pragma once
// The steps 1 to 5 every mode runs, in their order: the launcher (with its step 6, the start),
// the doctor, and any later run that checks a workstation. One row per step: what it is called,
// what the main window and the trace say while it runs, the thread it runs on, and the step.

#include <string>
#include <vector>

#include "model/LaunchRun.h"

namespace zl {

enum class StepThread {
  Worker,  // the launch worker, away from the windows
  Main,    // the main thread: its offers install while the window stays responsive
};

struct LaunchStep {
  int number;            // 1 to 5
  const wchar_t* name;   // a short name for reports: "workstation", "server", ...
  const wchar_t* label;  // the status text and the trace's label: "Checking Local PC", ...
  StepThread thread;
  void (*run)(LaunchRun& run);
};

// Steps 1 to 5 in the order they run.
const std::vector<LaunchStep>& LaunchSteps();

// The parameter text the application is started with, built from the options: the port offset
// and the server when a location is set, then the extra options, each after a blank.
std::wstring BuildApplicationParameters(const LauncherOptions& options);

}  // namespace zl
