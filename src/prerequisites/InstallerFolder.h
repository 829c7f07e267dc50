#pragma once
// A folder of its own under the temporary folder for one installer: the installer runs there,
// with that folder as its working folder, so nothing else lying in %TEMP% can be picked up by
// it, and the folder goes with everything in it when the installer is done.

#include <string>

#include "platform/Platform.h"

namespace zl {

class InstallerFolder {
 public:
  // Makes the folder in files' temporary folder; Path() is empty when none could be made.
  explicit InstallerFolder(IFileSystem& files);
  // Removes the files in the folder, then the folder.
  ~InstallerFolder();
  InstallerFolder(const InstallerFolder&) = delete;
  InstallerFolder& operator=(const InstallerFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // A new name inside the folder ("tmpXXXX" as the system makes temporary names) with ext.
  // Empty when no name can be made.
  std::wstring NewFileName(const std::wstring& ext);
  // Empties and removes the folder now.
  void Remove();

 private:
  IFileSystem& files_;
  std::wstring path_;
};

}  // namespace zl
