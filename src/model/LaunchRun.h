#pragma once
// LaunchRun: everything one run of the steps works with. The program block builds it from the
// ports it runs on (Win32, the doctor's dry run, or a test's fakes) and hands it to every step,
// so a step's signature shows what it may read and change: the options in use (step 2 stores the
// server here, the later steps read it), the ports, what this run already found on the share,
// and the findings.

#include "model/LaunchError.h"
#include "model/LauncherOptions.h"
#include "model/ShareCache.h"
#include "platform/Platform.h"

namespace zl {

class LaunchRun {
 public:
  explicit LaunchRun(const PlatformServices& ports) : cache(ports), ports_(ports) {}
  LaunchRun(const LaunchRun&) = delete;
  LaunchRun& operator=(const LaunchRun&) = delete;

  const PlatformServices& Ports() const { return ports_; }
  IRegistry& Registry() const { return *ports_.registry; }
  IFileSystem& Files() const { return *ports_.files; }
  IShell& Shell() const { return *ports_.shell; }
  ISystem& System() const { return *ports_.system; }
  IUserInterface& Ui() const { return *ports_.ui; }
  INetwork& Network() const { return *ports_.network; }
  IHttp& Http() const { return *ports_.http; }

  LauncherOptions options;
  ShareCache cache;
  LaunchErrorList findings;

 private:
  PlatformServices ports_;
};

}  // namespace zl
