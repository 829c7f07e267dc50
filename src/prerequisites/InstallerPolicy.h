#pragma once
// The admin's checksum policy for installers: before an installer runs, the file about to run
// is hashed and compared with the SHA-256 the admin set for its name under HKLM's
// "InstallerHashes"; with "RequireInstallerHashes" an installer without one is refused too.

#include <string>

#include "model/LaunchRun.h"

namespace zl {

// Unchecked: no checksum set and none required, so the installer runs unchecked.
enum class InstallerVerdict { Approved, Unchecked, Mismatch, NoChecksum };

class InstallerPolicy {
 public:
  InstallerPolicy() = delete;

  // fileName: the installer's name as the installer rows give it; file: the file about to run,
  // held since before its check until its run is over, and hashed through that hold.
  static InstallerVerdict Check(const LaunchRun& run, const std::wstring& fileName,
                                IHeldFile& file);
  // Whether an installer with this verdict may run.
  static bool Allows(InstallerVerdict verdict) {
    return verdict == InstallerVerdict::Approved || verdict == InstallerVerdict::Unchecked;
  }
};

}  // namespace zl
