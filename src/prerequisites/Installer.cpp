#include "prerequisites/Installer.h"

#include "model/LauncherUtils.h"
#include "model/MessageDialog.h"
#include "model/Trace.h"
#include "prerequisites/InstallerFolder.h"
#include "prerequisites/InstallerForm.h"
#include "prerequisites/InstallerPolicy.h"
#include "utils/Paths.h"
#include "utils/Text.h"

namespace zl {

namespace {

// Why an installer got no place of its own, for the paragraph under "It was not run.".
std::wstring NoPlaceReason(const InstallerFolder& folder) {
  return folder.Path().empty()
             ? L"No folder of its own could be made for it in the temporary folder."
             : L"No file could be made for it in its own folder in the temporary folder.";
}

}  // namespace

void Installer::Install(LaunchRun& run, const std::wstring& displayName,
                        const std::wstring& fileName, const std::wstring& url, bool elevate,
                        const std::wstring& unzipPath, const std::function<void()>& afterRun) {
  // Removed, with what is in it, once the installer and afterRun are done, or at once when
  // nothing ran. Without it nothing is fetched: an installer is never run from the bare
  // temporary folder, where anything else lying there could be picked up with it.
  InstallerFolder folder(run.Files(), run.System());
  const std::wstring share = run.options.ShareLocation();
  bool fromShare = false;
  if (!share.empty()) {
    const std::wstring shared = share + L"\\Common\\" + fileName;
    FileAttributes found = run.Files().GetAttributes(shared);
    fromShare = found.exists && !found.directory;
    if (fromShare) {
      Trace::Line(L"Installing \"" + fileName + L"\" from " + shared);
      // The share's copy goes into the installer's own folder first: the share may be slow or
      // go away, and the copy is what is checked and run.
      const std::wstring copy = folder.NewFileName(ExtractFileExt(fileName));
      // The user asked for it: saying nothing would look like success.
      if (copy.empty())
        ReportNotRun(run.Ui(), fileName, L"could not be copied from the shared folder",
                     NoPlaceReason(folder));
      else if (!run.Files().CopyFile(shared, copy, true))
        ReportNotRun(run.Ui(), fileName, L"could not be copied from the shared folder");
      else
        RunIfApproved(run, fileName, copy, elevate, unzipPath);
    }
  }
  if (!fromShare) {
    Trace::Line(L"Installing \"" + fileName + L"\" downloaded from " + url);
    // Never empty when handed to the form, which would fall back to a name of the downloader's
    // own in the bare temporary folder.
    const std::wstring target = folder.NewFileName(ExtractFileExt(displayName));
    if (target.empty()) {
      ReportNotRun(run.Ui(), displayName, L"could not be downloaded", NoPlaceReason(folder));
    } else {
      InstallerForm form(run.Ports());
      form.SetURL(url);
      form.SetFileName(displayName);
      form.SetSaveAs(target);
      // Nothing when the window closed before the download ended.
      if (const std::optional<InstallerDownload> got = form.ShowModal()) {
        if (got->success) {
          Trace::Line(L"Downloaded " + url + L" to " + got->file);
          // A refused download goes at once; a share's copy goes with its folder.
          if (!RunIfApproved(run, displayName, got->file, elevate, unzipPath))
            run.Files().DeleteFile(got->file);
        } else {
          // The user asked for it: a window that just closes would look like success.
          ReportNotRun(run.Ui(), displayName, L"could not be downloaded", got->errorMessage);
        }
      }
    }
  }
  if (afterRun) afterRun();
}

bool Installer::RunIfApproved(LaunchRun& run, const std::wstring& fileName,
                              const std::wstring& path, bool elevate,
                              const std::wstring& unzipPath) {
  // Held from before its check until its run is over: nobody can swap the bytes that were
  // checked for others between the check and msiexec's or the loader's read.
  const std::unique_ptr<IHeldFile> held = run.Files().HoldForRun(path);
  if (!held) {
    ReportNotRun(run.Ui(), fileName, L"could not be opened to be run");
    return false;
  }
  const InstallerVerdict verdict = InstallerPolicy::Check(run, fileName, *held);
  if (InstallerPolicy::Allows(verdict)) {
    Trace::Line(L"\"" + fileName + L"\" " +
                (verdict == InstallerVerdict::Approved
                     ? L"matches the checksum set by the administrator"
                     : L"has no checksum set by the administrator, and none is required"));
    InstallOrRun(run.Ports(), path, elevate, unzipPath);
    return true;
  }
  const wchar_t* const reason =
      verdict == InstallerVerdict::Mismatch ? L"does not match the checksum" : L"has no checksum";
  ReportNotRun(run.Ui(), fileName, std::wstring(reason) + L" set by your administrator");
  return false;
}

void Installer::InstallOrRun(const PlatformServices& ports, const std::wstring& fileName,
                             bool elevate, const std::wstring& unzipPath) {
  std::wstring ext = LowerAscii(ExtractFileExt(fileName));
  Trace::Line(L"Running " + fileName + (elevate ? L" (elevated)" : L""));
  if (ext == L".msi") {
    // By its full path: a bare "msiexec.exe" would be looked for in the current folder first,
    // which may be a writable share.
    std::wstring msiexec = ports.system->SystemDirectory() + L"\\msiexec.exe";
    // Run in the package's own folder, not in msiexec's.
    LauncherUtils::RunExecutableFile(ports, msiexec, L"/passive /i \"" + fileName + L"\"", false,
                                     false, GetDir(fileName));
  } else if (ext == L".exe") {
    LauncherUtils::RunExecutableFile(ports, fileName, L"", false, elevate);
  } else if (ext == L".zip") {
    if (!unzipPath.empty()) LauncherUtils::Unzip(*ports.files, fileName, unzipPath);
  }
}

void Installer::ReportNotRun(IUserInterface& ui, const std::wstring& fileName,
                             const std::wstring& why, const std::wstring& detail) {
  std::wstring text = L"The file \"" + fileName + L"\" " + why + L". It was not run.";
  if (!detail.empty()) text += L"\r\n\r\n" + detail;
  Trace::Line(text);
  MessageDlg(ui, text, MsgDlgType::Error, {MsgDlgBtn::OK});
}

}  // namespace zl
