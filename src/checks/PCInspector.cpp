#include "checks/PCInspector.h"

#include <cstdint>
#include <optional>

#include "utils/RegistryValues.h"

namespace zl {

namespace {

bool VersionAtLeast(ISystem& system, uint32_t major, uint32_t minor) {
  // A failed query reads as 0.0, an old Windows, as the zeroed structure would.
  OsVersion v = system.Version();
  uint32_t haveMajor = v.ok ? v.major : 0;
  uint32_t haveMinor = v.ok ? v.minor : 0;
  return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}

const wchar_t* const kAppOptionKeys[] = {
    L"Software\\Zelkora Software\\Quenda\\Options",
    L"Software\\Zelkora Software\\Velmont\\Options",
};

}  // namespace

void PCInspector::Inspect(LaunchRun& run) {
  RemoveAppOptionKeys(run.Registry());
  if (!run.options.SkipPC() && !HasEnoughDiskSpace(run.System()))
    AddFinding(run.findings,
               L"This computer is running very low on free drive space on the C drive.  This can "
               L"cause slow performance, program crashes, and even data corruption.",
               ErrorSeverity::Warning);
  if (!run.options.SkipPC() && !IsWindowsXPOrHigher(run.System()))
    AddFinding(run.findings,
               L"Your operating system does not meet the requirements for Zelkora programs.  You "
               L"must be running a Professional version (not a Home version) of Windows XP or "
               L"later.  Zelkora recommends users use Windows 7 Professional or higher.",
               ErrorSeverity::Warning);
}

bool PCInspector::IsWindows7OrHigher(ISystem& system) { return VersionAtLeast(system, 6, 1); }

bool PCInspector::IsWindowsXPOrHigher(ISystem& system) { return VersionAtLeast(system, 5, 1); }

void PCInspector::RemoveAppOptionKeys(IRegistry& registry) {
  // The 64-bit view, as for the launcher's own key, so that this 32-bit process is not
  // redirected on 64-bit Windows.
  for (const wchar_t* key : kAppOptionKeys) {
    try {
      if (registry.KeyExists(RegRoot::CurrentUser, key, RegView::Reg64))
        DeleteKeyTree(registry, RegRoot::CurrentUser, key, RegView::Reg64);
    } catch (...) {
      // A key that cannot be removed stays; the launch goes on.
    }
  }
}

bool PCInspector::HasEnoughDiskSpace(ISystem& system) {
  std::optional<int64_t> free = system.FreeBytesAvailable(L"C:\\");
  // The caller's figure respects disk quotas; a failed query (no drive C:) counts as none.
  double mebibytes = static_cast<double>(free ? *free : -1) / 1024.0 / 1024.0;
  return mebibytes >= 250.0;
}

}  // namespace zl
