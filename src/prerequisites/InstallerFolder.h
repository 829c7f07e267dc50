#pragma once
// A folder of its own under the temporary folder for one installer: the installer runs there,
// with that folder as its working folder, so nothing else lying in %TEMP% can be picked up by
// it, and its plain files go with the folder when the installer is done.

#include <string>

#include "platform/Platform.h"

namespace zl {

class InstallerFolder {
 public:
  // Names tried before giving up: a taken name is rare, five in a row means something is wrong.
  static constexpr int kMaxNames = 5;

  // Makes a new folder "zl<16 hex digits>" from the system's random generator in files'
  // temporary folder, never taking over a name that is already there; Path() is empty when
  // none could be made.
  InstallerFolder(IFileSystem& files, ISystem& system);
  // Removes the plain files in the folder, then the folder.
  ~InstallerFolder();
  InstallerFolder(const InstallerFolder&) = delete;
  InstallerFolder& operator=(const InstallerFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // A new name inside the folder ("tmpXXXX" as the system makes temporary names) with ext.
  // Empty when no name can be made.
  std::wstring NewFileName(const std::wstring& ext);
  // Deletes the plain files in the folder and then the folder when it is empty; subfolders and
  // links are neither entered nor deleted, and what stays is traced.
  void Remove();

 private:
  IFileSystem& files_;
  std::wstring path_;
};

}  // namespace zl
