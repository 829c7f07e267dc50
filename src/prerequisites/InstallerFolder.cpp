#include "prerequisites/InstallerFolder.h"

#include <cstdint>
#include <vector>

#include "model/Trace.h"
#include "utils/Paths.h"

namespace zl {

namespace {

// "zl" and the bytes in hexadecimal, in the order the generator gave them.
std::wstring FolderName(const uint8_t (&bytes)[8]) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = L"zl";
  for (uint8_t b : bytes) {
    name += kHex[b >> 4];
    name += kHex[b & 0xF];
  }
  return name;
}

}  // namespace

InstallerFolder::InstallerFolder(IFileSystem& files, ISystem& system) : files_(files) {
  const std::wstring temp = files.TempPath();
  // Without it a bare name would land in the current folder.
  if (temp.empty()) {
    Trace::Line(
        L"No folder of its own could be made for an installer: there is no temporary "
        L"folder");
    return;
  }
  for (int i = 0; i < kMaxNames; ++i) {
    uint8_t bytes[8];
    if (!system.RandomBytes(bytes, sizeof bytes)) {
      // A name anyone could guess is no better than the bare temporary folder.
      Trace::Line(L"No folder of its own could be made for an installer in " + temp +
                  L": the system's random generator failed");
      return;
    }
    const std::wstring name = JoinPath(temp, FolderName(bytes));
    // Only a folder this call makes is ours: one already there may be someone else's, or a
    // link to one.
    if (files.CreateNewDirectory(name)) {
      path_ = name;
      return;
    }
  }
  Trace::Line(L"No folder of its own could be made for an installer in " + temp + L": " +
              std::to_wstring(kMaxNames) + L" names were tried");
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
  std::vector<std::wstring> left;
  // A folder that has become a link is not emptied: its files are someone else's. Removing it
  // removes only the link.
  if (!files.GetAttributes(path_).reparsePoint) {
    std::vector<DirEntry> entries;
    files.ListDirectory(path_, [&](const DirEntry& entry) {
      entries.push_back(entry);
      return true;
    });
    // Only what the installer or we put there as plain files goes: a subfolder or a link is
    // never entered, so nothing outside the folder can be deleted through it.
    for (const DirEntry& entry : entries) {
      const bool plain = !entry.attributes.directory && !entry.attributes.reparsePoint;
      if (!plain || !files.DeleteFile(JoinPath(path_, entry.name))) left.push_back(entry.name);
    }
  }
  if (!files.RemoveDirectory(path_)) {
    std::wstring text = L"The installer's folder " + path_ + L" was left in place";
    for (size_t i = 0; i < left.size(); ++i)
      text += (i == 0 ? L"; it still holds \"" : L", \"") + left[i] + L"\"";
    Trace::Line(text);
  }
  path_.clear();
}

}  // namespace zl
