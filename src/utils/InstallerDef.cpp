#include "utils/InstallerDef.h"

#include <utility>

#include "launcher/LauncherOptionsDef.h"
#include "platform/Platform.h"
#include "utils/LauncherUtilsDef.h"
#include "utils/Text.h"

namespace zl {

std::wstring ExtractFileExt(const std::wstring& aPath) {
  size_t dot = aPath.find_last_of(L".\\:");
  if (dot == std::wstring::npos || aPath[dot] != L'.') return std::wstring();
  return aPath.substr(dot);
}

std::wstring ChangeFileExt(const std::wstring& aPath, const std::wstring& aExt) {
  // The dot stays: a name given an empty extension ends in a dot.
  size_t dot = aPath.find_last_of(L".\\:");
  std::wstring stem =
      (dot != std::wstring::npos && aPath[dot] == L'.') ? aPath.substr(0, dot + 1) : aPath + L".";
  return stem + (!aExt.empty() && aExt[0] == L'.' ? aExt.substr(1) : aExt);
}

// ---------------------------------------------------------------- the installer window's logic
TInstallerForm::TInstallerForm()
    : FDownloader(TBackgroundDownloader::CreateSuspended()),
      FSelf(std::make_shared<TInstallerForm*>(this)) {
  // The downloader may outlive the form (a window closed some other way); its reports then find
  // nobody instead of a freed form.
  FDownloader->SetProgressEvent([self = FSelf](TDownloadProgressData aData) {
    if (*self) (*self)->DownloadProgress(std::move(aData));
  });
  FElevate = false;
}

TInstallerForm::~TInstallerForm() {
  *FSelf = nullptr;
  if (!FStarted) delete FDownloader;
}

void TInstallerForm::ShowModal() {
  Platform().ui->ShowInstallerWindow([this](IInstallerWindow& aWindow) { FormActivate(aWindow); });
  FWindow = nullptr;
  if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
}

void TInstallerForm::FormActivate(IInstallerWindow& aWindow) {
  FWindow = &aWindow;
  if (FActivated) return;
  FActivated = true;
  try {
    FDownloader->SetURL(FURL);
    FDownloader->SetSaveAs(ChangeFileExt(FDownloader->SaveAs(), ExtractFileExt(FFileName)));
    FDownloader->Start();
    FStarted = true;
  } catch (const LauncherError& e) {
    // No name or no thread: no report would ever come, and the window has no close box.
    TDownloadProgressData failed;
    failed.Finished = true;
    failed.ErrorMsg = e.Message();
    DownloadProgress(failed);
  }
}

void TInstallerForm::DownloadProgress(TDownloadProgressData aData) {
  // A report after the window has gone is dropped.
  if (FWindow == nullptr) return;
  FWindow->SetStatusText(L"Downloading " + FFileName);
  FWindow->SetProgress(aData.Percent);
  if (!aData.Finished) return;
  FWindow->Hide();
  if (aData.Success) {
    // Kept for ShowModal: raised from here it would reach the download thread, and the window
    // would never close.
    try {
      TLauncherUtils::InstallOrRun(FDownloader->SaveAs(), FElevate, FUnzipPath);
    } catch (...) {
      FError = std::current_exception();
    }
  }
  FWindow->Close();
}

// ---------------------------------------------------------------- install flow
namespace {

void InstallSharedCopy(const std::wstring& aShared, const std::wstring& aFileName, bool aElevate,
                       const std::wstring& aUnzipPath) {
  IFileSystem& files = *Platform().files;
  std::wstring copy;
  // The temporary folder keeps earlier downloads (tmpXXXX.msi): a new name whose changed
  // extension meets one of them must not run that old file, so such a name is passed over.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::wstring name = files.TempFileName(files.TempPath(), L"tmp");
    // Only the name is wanted; the empty file would pile up in the temporary folder.
    files.DeleteFile(name);
    copy = ChangeFileExt(name, ExtractFileExt(aFileName));
    if (files.CopyFile(aShared, copy, true) || !files.GetAttributes(copy).exists) break;
    copy.clear();
  }
  if (copy.empty()) return;
  try {
    TLauncherUtils::InstallOrRun(copy, aElevate, aUnzipPath);
  } catch (...) {
    files.DeleteFile(copy);
    throw;
  }
  files.DeleteFile(copy);
}

}  // namespace

void TLauncherUtils::Install(const std::wstring& aDisplayName, const std::wstring& aFileName,
                             const std::wstring& aURL, bool aElevate,
                             const std::wstring& aUnzipPath) {
  const std::wstring share = LauncherOptions.ShareLocation();
  if (!share.empty()) {
    const std::wstring shared = share + L"\\Common\\" + aFileName;
    FileAttributes found = Platform().files->GetAttributes(shared);
    if (found.exists && !found.directory) {
      InstallSharedCopy(shared, aFileName, aElevate, aUnzipPath);
      return;
    }
  }
  TInstallerForm form;
  form.SetURL(aURL);
  form.SetFileName(aDisplayName);
  form.SetUnzipPath(aUnzipPath);
  form.SetElevate(aElevate);
  form.ShowModal();
}

void TLauncherUtils::InstallOrRun(const std::wstring& aFileName, bool aElevate,
                                  const std::wstring& aUnzipPath) {
  std::wstring ext = LowerAscii(ExtractFileExt(aFileName));
  if (ext == L".msi") {
    // By its full path: a bare "msiexec.exe" would be looked for in the current folder first,
    // which may be a writable share.
    std::wstring msiexec = Platform().system->SystemDirectory() + L"\\msiexec.exe";
    RunExecutableFile(msiexec, L"/passive /i \"" + aFileName + L"\"", false, false);
  } else if (ext == L".exe") {
    RunExecutableFile(aFileName, L"", false, aElevate);
  } else if (ext == L".zip") {
    if (!aUnzipPath.empty()) Unzip(aFileName, aUnzipPath);
  }
}

}  // namespace zl
