#pragma once
// ShareCache: what this run has already learnt on its way to the application's start, so a share
// a network away is not asked the same question twice. Every call to a share is a round trip
// (10 to 50 ms from a branch office), and the shell's folder probe costs a couple of dozen.
//
// Only positive answers are kept: folders already probed in this run (the probe's purpose, the
// first touch that makes Windows connect and ask for credentials, is served by the first one),
// and files found to exist. A new run forgets them all; wait loops never use the cache.
// Used by the launch worker and, while it waits, the main thread: never by two threads at once.

#include <string>

namespace zl {

class ShareCache {
 public:
  ShareCache() = delete;

  // Forgets everything: called when a run starts.
  static void Forget();
  // LauncherUtils::ProbeDir, unless the same folder was probed in this run.
  static void ProbeDir(const std::wstring& path);
  // Whether the file exists (and is no folder); a file found earlier in this run counts as
  // found without asking again.
  static bool FileExists(const std::wstring& path);
  // LauncherUtils::CheckFile through the two above.
  static bool CheckFile(const std::wstring& filePath);
};

}  // namespace zl
