#include "model/ShareCache.h"

#include "model/LauncherUtils.h"
#include "platform/Platform.h"
#include "utils/Paths.h"
#include "utils/Text.h"

namespace zl {

namespace {

// The folder the probe starts its program in, lower case, '/' read as '\'.
std::wstring ProbeKey(const std::wstring& path) {
  std::wstring dir = LowerAscii(GetDir(path));
  for (wchar_t& c : dir)
    if (c == L'/') c = L'\\';
  return dir;
}

}  // namespace

void ShareCache::Forget() {
  probed_.clear();
  files_.clear();
}

void ShareCache::ProbeDir(const std::wstring& path) {
  if (!probed_.insert(ProbeKey(path)).second) return;
  LauncherUtils::ProbeDir(ports_, path);
}

bool ShareCache::FileExists(const std::wstring& path) {
  const std::wstring key = LowerAscii(path);
  if (files_.count(key) != 0) return true;
  const FileAttributes a = ports_.files->GetAttributes(path);
  if (!a.exists || a.directory) return false;
  files_.insert(key);
  return true;
}

bool ShareCache::CheckFile(const std::wstring& filePath) {
  ProbeDir(GetDir(filePath));
  return FileExists(filePath);
}

}  // namespace zl
