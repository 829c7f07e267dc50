#include "prerequisites/Installer.h"

#include "model/LauncherOptions.h"
#include "model/LauncherUtils.h"
#include "platform/Platform.h"
#include "prerequisites/InstallerForm.h"
#include "prerequisites/InstallerPolicy.h"
#include "utils/Paths.h"
#include "utils/Text.h"

namespace zl {

namespace {

void InstallSharedCopy(const std::wstring& shared, const std::wstring& fileName, bool elevate,
                       const std::wstring& unzipPath) {
  IFileSystem& files = *Platform().files;
  std::wstring copy;
  // The temporary folder keeps earlier downloads (tmpXXXX.msi): a new name whose changed
  // extension meets one of them must not run that old file, so such a name is passed over.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::wstring name = files.TempFileName(files.TempPath(), L"tmp");
    // Only the name is wanted; the empty file would pile up in the temporary folder.
    files.DeleteFile(name);
    copy = ChangeFileExt(name, ExtractFileExt(fileName));
    if (files.CopyFile(shared, copy, true) || !files.GetAttributes(copy).exists) break;
    copy.clear();
  }
  if (copy.empty()) return;
  // The copy is what runs, so the copy is what is checked; it is ours to delete.
  if (!InstallerPolicy::Approve(fileName, copy)) {
    files.DeleteFile(copy);
    return;
  }
  try {
    Installer::InstallOrRun(copy, elevate, unzipPath);
  } catch (...) {
    files.DeleteFile(copy);
    throw;
  }
  files.DeleteFile(copy);
}

}  // namespace

void Installer::Install(const std::wstring& displayName, const std::wstring& fileName,
                        const std::wstring& url, bool elevate, const std::wstring& unzipPath) {
  const std::wstring share = Options().ShareLocation();
  if (!share.empty()) {
    const std::wstring shared = share + L"\\Common\\" + fileName;
    FileAttributes found = Platform().files->GetAttributes(shared);
    if (found.exists && !found.directory) {
      InstallSharedCopy(shared, fileName, elevate, unzipPath);
      return;
    }
  }
  InstallerForm form;
  form.SetURL(url);
  form.SetFileName(displayName);
  form.SetUnzipPath(unzipPath);
  form.SetElevate(elevate);
  form.ShowModal();
}

void Installer::InstallOrRun(const std::wstring& fileName, bool elevate,
                             const std::wstring& unzipPath) {
  std::wstring ext = LowerAscii(ExtractFileExt(fileName));
  if (ext == L".msi") {
    // By its full path: a bare "msiexec.exe" would be looked for in the current folder first,
    // which may be a writable share.
    std::wstring msiexec = Platform().system->SystemDirectory() + L"\\msiexec.exe";
    LauncherUtils::RunExecutableFile(msiexec, L"/passive /i \"" + fileName + L"\"", false, false);
  } else if (ext == L".exe") {
    LauncherUtils::RunExecutableFile(fileName, L"", false, elevate);
  } else if (ext == L".zip") {
    if (!unzipPath.empty()) LauncherUtils::Unzip(fileName, unzipPath);
  }
}

}  // namespace zl
