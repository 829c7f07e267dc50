#include "prerequisites/Installer.h"

#include "model/LauncherOptions.h"
#include "model/LauncherUtils.h"
#include "model/MessageDialog.h"
#include "model/Trace.h"
#include "platform/Platform.h"
#include "prerequisites/InstallerFolder.h"
#include "prerequisites/InstallerForm.h"
#include "prerequisites/InstallerPolicy.h"
#include "utils/Paths.h"
#include "utils/Text.h"

namespace zl {

namespace {

// The share's copy goes into the installer's own folder first: the share may be slow or go
// away, and the copy is what is checked and run.
void InstallSharedCopy(InstallerFolder& folder, const std::wstring& shared,
                       const std::wstring& fileName, bool elevate, const std::wstring& unzipPath) {
  const std::wstring copy = folder.NewFileName(ExtractFileExt(fileName));
  if (copy.empty() || !Platform().files->CopyFile(shared, copy, true)) {
    // The user asked for it: saying nothing would look like success.
    Installer::ReportNotRun(fileName, L"could not be copied from the shared folder");
    return;
  }
  if (!InstallerPolicy::Approve(fileName, copy)) return;
  Installer::InstallOrRun(copy, elevate, unzipPath);
}

}  // namespace

void Installer::Install(const std::wstring& displayName, const std::wstring& fileName,
                        const std::wstring& url, bool elevate, const std::wstring& unzipPath,
                        const std::function<void()>& afterRun) {
  // Removed, with what is in it, once the installer and afterRun are done, or at once when
  // nothing ran.
  InstallerFolder folder;
  const std::wstring share = Options().ShareLocation();
  bool fromShare = false;
  if (!share.empty()) {
    const std::wstring shared = share + L"\\Common\\" + fileName;
    FileAttributes found = Platform().files->GetAttributes(shared);
    fromShare = found.exists && !found.directory;
    if (fromShare) {
      Trace::Line(L"Installing \"" + fileName + L"\" from " + shared);
      InstallSharedCopy(folder, shared, fileName, elevate, unzipPath);
    }
  }
  if (!fromShare) {
    Trace::Line(L"Installing \"" + fileName + L"\" downloaded from " + url);
    InstallerForm form;
    form.SetURL(url);
    form.SetFileName(displayName);
    form.SetSaveAs(folder.NewFileName(ExtractFileExt(displayName)));
    form.SetUnzipPath(unzipPath);
    form.SetElevate(elevate);
    form.ShowModal();
  }
  if (afterRun) afterRun();
}

void Installer::InstallOrRun(const std::wstring& fileName, bool elevate,
                             const std::wstring& unzipPath) {
  std::wstring ext = LowerAscii(ExtractFileExt(fileName));
  Trace::Line(L"Running " + fileName + (elevate ? L" (elevated)" : L""));
  if (ext == L".msi") {
    // By its full path: a bare "msiexec.exe" would be looked for in the current folder first,
    // which may be a writable share.
    std::wstring msiexec = Platform().system->SystemDirectory() + L"\\msiexec.exe";
    // Run in the package's own folder, not in msiexec's.
    LauncherUtils::RunExecutableFile(msiexec, L"/passive /i \"" + fileName + L"\"", false, false,
                                     GetDir(fileName));
  } else if (ext == L".exe") {
    LauncherUtils::RunExecutableFile(fileName, L"", false, elevate);
  } else if (ext == L".zip") {
    if (!unzipPath.empty()) LauncherUtils::Unzip(fileName, unzipPath);
  }
}

void Installer::ReportNotRun(const std::wstring& fileName, const std::wstring& why,
                             const std::wstring& detail) {
  std::wstring text = L"The file \"" + fileName + L"\" " + why + L". It was not run.";
  if (!detail.empty()) text += L"\r\n\r\n" + detail;
  Trace::Line(text);
  MessageDlg(text, MsgDlgType::Error, {MsgDlgBtn::OK});
}

}  // namespace zl
