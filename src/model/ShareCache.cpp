#include "model/ShareCache.h"

#include <set>

#include "model/LauncherUtils.h"
#include "platform/Platform.h"
#include "utils/Paths.h"
#include "utils/Text.h"

namespace zl {

namespace {

struct Learnt {
  std::set<std::wstring> probed;  // probe keys
  std::set<std::wstring> files;   // lower-case paths
};

Learnt& ThisRun() {
  static Learnt learnt;
  return learnt;
}

// The folder the probe starts its program in, lower case, '/' read as '\'.
std::wstring ProbeKey(const std::wstring& path) {
  std::wstring dir = LowerAscii(GetDir(path));
  for (wchar_t& c : dir)
    if (c == L'/') c = L'\\';
  return dir;
}

}  // namespace

void ShareCache::Forget() { ThisRun() = Learnt(); }

void ShareCache::ProbeDir(const std::wstring& path) {
  if (!ThisRun().probed.insert(ProbeKey(path)).second) return;
  LauncherUtils::ProbeDir(path);
}

bool ShareCache::FileExists(const std::wstring& path) {
  const std::wstring key = LowerAscii(path);
  if (ThisRun().files.count(key) != 0) return true;
  const FileAttributes a = Platform().files->GetAttributes(path);
  if (!a.exists || a.directory) return false;
  ThisRun().files.insert(key);
  return true;
}

bool ShareCache::CheckFile(const std::wstring& filePath) {
  ProbeDir(GetDir(filePath));
  return FileExists(filePath);
}

}  // namespace zl
