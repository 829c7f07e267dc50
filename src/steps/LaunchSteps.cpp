#include "steps/LaunchSteps.h"

#include "checks/NetworkInspector.h"
#include "checks/PCInspector.h"
#include "checks/ProgramLocator.h"
#include "discovery/OrvexLocator.h"
#include "prerequisites/AppInspector.h"
#include "utils/Text.h"

namespace zl {

namespace {

void LocateApplication(LaunchRun& run) { ProgramLocator::Locate(run); }

}  // namespace

const std::vector<LaunchStep>& LaunchSteps() {
  static const std::vector<LaunchStep> steps = {
      {1, L"workstation", L"Checking Local PC", StepThread::Worker, &PCInspector::Inspect},
      {2, L"server", L"Locating Orvex", StepThread::Worker, &OrvexLocator::Locate},
      {3, L"share", L"Checking Network", StepThread::Worker, &NetworkInspector::Inspect},
      {4, L"application", L"Locating Application", StepThread::Worker, &LocateApplication},
      {5, L"prerequisites", L"Checking App Settings", StepThread::Main, &AppInspector::Inspect},
  };
  return steps;
}

std::wstring BuildApplicationParameters(const LauncherOptions& o) {
  std::wstring p;
  if (!o.AppLocation().empty()) {
    if (o.PortOffset() != 0) p += L" -PortOffset=" + IntToText(o.PortOffset());
    if (!o.OrvexAddress().empty()) p += L" -OrvexAddress=" + o.OrvexAddress();
  }
  if (!o.ExtraOptions().empty()) p += L" " + o.ExtraOptions();
  return p;
}

}  // namespace zl
