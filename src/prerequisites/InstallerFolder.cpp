#include "prerequisites/InstallerFolder.h"

#include <vector>

#include "utils/Paths.h"

namespace zl {

InstallerFolder::InstallerFolder(IFileSystem& files) : files_(files) {
  try {
    // The system's unique temporary name, taken over by a folder of the same name.
    const std::wstring name = files.TempFileName(files.TempPath(), L"zli");
    files.DeleteFile(name);
    if (files.CreateDirectory(name)) path_ = name;
  } catch (const LauncherError&) {
  }
}

InstallerFolder::~InstallerFolder() { Remove(); }

std::wstring InstallerFolder::NewFileName(const std::wstring& ext) {
  if (path_.empty()) return std::wstring();
  IFileSystem& files = files_;
  try {
    const std::wstring name = files.TempFileName(path_, L"tmp");
    // Only the name is wanted; the empty file it made is not the installer.
    files.DeleteFile(name);
    return ChangeFileExt(name, ext);
  } catch (const LauncherError&) {
    return std::wstring();
  }
}

void InstallerFolder::Remove() {
  if (path_.empty()) return;
  IFileSystem& files = files_;
  std::vector<std::wstring> names;
  files.ListDirectory(path_, [&](const DirEntry& entry) {
    if (!entry.attributes.directory) names.push_back(JoinPath(path_, entry.name));
    return true;
  });
  for (const std::wstring& name : names) files.DeleteFile(name);
  files.RemoveDirectory(path_);
  path_.clear();
}

}  // namespace zl
