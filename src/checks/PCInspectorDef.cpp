#include "checks/PCInspectorDef.h"

#include <atomic>
#include <cstdint>
#include <optional>

#include "launcher/LauncherOptionsDef.h"
#include "platform/Platform.h"
#include "utils/RegistryValues.h"

namespace zl {

namespace {

// Major and minor packed into one word with a "loaded" bit, so that a late first use on the main
// thread and one on the worker can race without a lock (the win32 thread model has no
// std::mutex) and still see a whole version.
constexpr uint32_t kVersionLoaded = 0x80000000u;
std::atomic<uint32_t> gVersion{0};

uint32_t Pack(const OsVersion& v) {
  // A failed query reads as 0.0, an old Windows, as the zeroed structure would.
  uint32_t major = v.ok ? v.major : 0;
  uint32_t minor = v.ok ? v.minor : 0;
  if (major > 0x7FFF) major = 0x7FFF;
  if (minor > 0xFFFF) minor = 0xFFFF;
  return kVersionLoaded | (major << 16) | minor;
}

uint32_t Version() {
  uint32_t packed = gVersion.load();
  if (!(packed & kVersionLoaded)) {
    packed = Pack(Platform().system->Version());
    gVersion.store(packed);
  }
  return packed;
}

bool VersionAtLeast(uint32_t major, uint32_t minor) {
  uint32_t packed = Version();
  uint32_t haveMajor = (packed >> 16) & 0x7FFF;
  uint32_t haveMinor = packed & 0xFFFF;
  return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}

const wchar_t* const kAppOptionKeys[] = {
    L"Software\\Zelkora Software\\Quenda\\Options",
    L"Software\\Zelkora Software\\Velmont\\Options",
};

}  // namespace

void TPCInspector::LoadVersion() { gVersion.store(Pack(Platform().system->Version())); }

void TPCInspector::Inspect(TLaunchErrorList& errorList) {
  RemoveAppOptionKeys();
  if (!LauncherOptions.SkipPC() && !HasEnoughDiskSpace())
    AddFinding(errorList,
               L"This computer is running very low on free drive space on the C drive.  This can "
               L"cause slow performance, program crashes, and even data corruption.",
               esWarning);
  if (!LauncherOptions.SkipPC() && !IsWindowsXPOrHigher())
    AddFinding(errorList,
               L"Your operating system does not meet the requirements for Zelkora programs.  You "
               L"must be running a Professional version (not a Home version) of Windows XP or "
               L"later.  Zelkora recommends users use Windows 7 Professional or higher.",
               esWarning);
}

bool TPCInspector::IsWindows7OrHigher() { return VersionAtLeast(6, 1); }

bool TPCInspector::IsWindowsXPOrHigher() { return VersionAtLeast(5, 1); }

void TPCInspector::RemoveAppOptionKeys() {
  // The 64-bit view, as for the launcher's own key, so that this 32-bit process is not
  // redirected on 64-bit Windows.
  IRegistry& registry = *Platform().registry;
  for (const wchar_t* key : kAppOptionKeys) {
    try {
      if (registry.KeyExists(RegRoot::CurrentUser, key, RegView::Reg64))
        DeleteKeyTree(RegRoot::CurrentUser, key, RegView::Reg64);
    } catch (...) {
      // A key that cannot be removed stays; the launch goes on.
    }
  }
}

bool TPCInspector::HasEnoughDiskSpace() {
  std::optional<int64_t> free = Platform().system->FreeBytesAvailable(L"C:\\");
  // The caller's figure respects disk quotas; a failed query (no drive C:) counts as none.
  double mebibytes = static_cast<double>(free ? *free : -1) / 1024.0 / 1024.0;
  return mebibytes >= 250.0;
}

}  // namespace zl
