#pragma once
// ShareCache: what this run has already learnt on its way to the application's start, so a share
// a network away is not asked the same question twice. Every call to a share is a round trip
// (10 to 50 ms from a branch office), and the shell's folder probe costs a couple of dozen.
//
// Only positive answers are kept: folders already probed in this run (the probe's purpose, the
// first touch that makes Windows connect and ask for credentials, is served by the first one),
// and files found to exist. Each run has a cache of its own; wait loops never use it.
// Used by the launch worker and, while it waits, the main thread: never by two threads at once.

#include <set>
#include <string>

#include "platform/Platform.h"

namespace zl {

class ShareCache {
 public:
  // Asks through the run's ports.
  explicit ShareCache(const PlatformServices& ports) : ports_(ports) {}

  // Forgets everything.
  void Forget();
  // LauncherUtils::ProbeDir, unless the same folder was probed in this run.
  void ProbeDir(const std::wstring& path);
  // Whether the file exists (and is no folder); a file found earlier in this run counts as
  // found without asking again.
  bool FileExists(const std::wstring& path);
  // LauncherUtils::CheckFile through the two above.
  bool CheckFile(const std::wstring& filePath);

 private:
  PlatformServices ports_;
  std::set<std::wstring> probed_;  // probe keys
  std::set<std::wstring> files_;   // lower-case paths
};

}  // namespace zl
