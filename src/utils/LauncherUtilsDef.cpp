#include "utils/LauncherUtilsDef.h"

#include "platform/Platform.h"
#include "utils/Regex.h"
#include "utils/Text.h"
#include "utils/ZipArchive.h"

namespace zl {

namespace {

// Compiled once; the compiled code is shared read-only by every thread.
const Regex& PathPattern() {
  static const Regex pattern(L"^(.*\\\\)(.+?)\\\\?$");
  return pattern;
}

const Regex& ServerPattern() {
  static const Regex pattern(L"^\\\\\\\\([^\\\\]+)");
  return pattern;
}

bool WaitForProcess(ShellStart& started) {
  IUserInterface& ui = *Platform().ui;
  if (started.process) {
    // No overall limit: the launcher waits as long as the program runs, keeping its windows alive.
    while (!started.process->Wait(100)) ui.ProcessMessages();
    started.process.reset();
  }
  ui.ProcessMessages();
  return true;
}

}  // namespace

bool TLauncherUtils::RunExecutableFile(const std::wstring& aFileName, const std::wstring& aParams,
                                       bool aHideError, bool aRunAs) {
  ShellExecuteRequest r;
  r.mask = see::NoCloseProcess | see::NoZoneChecks | (aHideError ? see::FlagNoUi : 0);
  if (aRunAs) r.verb = CanElevate() ? L"runas" : L"open";
  r.file = aFileName;
  r.parameters = aParams;
  r.directory = GetDir(aFileName);
  r.show = kSwHide;
  ShellStart started = Platform().shell->ShellExecuteEx(r);
  if (!started.ok) return false;
  return WaitForProcess(started);
}

bool TLauncherUtils::ExecuteCommand(const std::wstring& aCommandString, bool aElevate) {
  ShellExecuteRequest r;
  r.mask = see::NoCloseProcess;
  r.verb = (aElevate && CanElevate()) ? L"runas" : L"open";
  r.file = L"cmd";
  r.parameters = aCommandString;
  r.show = kSwHide;
  ShellStart started = Platform().shell->ShellExecuteEx(r);
  if (!started.ok) return false;
  return WaitForProcess(started);
}

void TLauncherUtils::Unzip(const std::wstring& aFile, const std::wstring& aUnzipPath) {
  ExtractZip(*Platform().files, aFile, aUnzipPath);
}

void TLauncherUtils::ProbeDir(const std::wstring& aPath) {
  // Starting a program that cannot exist makes the shell resolve the folder (and log on to a
  // server share with the user's credentials) before the caller tests something there.
  try {
    std::wstring probe = GetDir(aPath) + Platform().system->NewGuidText() + L".exe";
    RunExecutableFile(probe, L"", true, false);
  } catch (...) {
  }
}

std::wstring TLauncherUtils::GetFile(const std::wstring& aFilePath) {
  auto m = PathPattern().Match(aFilePath);
  return m ? (*m)[2] : aFilePath;
}

std::wstring TLauncherUtils::GetDir(const std::wstring& aFilePath) {
  auto m = PathPattern().Match(aFilePath);
  return m ? (*m)[1] : std::wstring();
}

bool TLauncherUtils::CheckFile(const std::wstring& aFilePath) {
  ProbeDir(GetDir(aFilePath));
  FileAttributes a = Platform().files->GetAttributes(aFilePath);
  return a.exists && !a.directory;
}

std::wstring TLauncherUtils::GetShareServerName(const std::wstring& aFilePath) {
  auto m = ServerPattern().Match(aFilePath);
  return m ? (*m)[1] : std::wstring();
}

bool TLauncherUtils::Is64Bit() {
  switch (Platform().system->IsWow64()) {
    case Wow64State::NoFunction:
      return false;  // a Windows without IsWow64Process is 32-bit
    case Wow64State::Failed:
      throw LauncherError(L"Bad process handle");
    case Wow64State::No:
      return false;
    case Wow64State::Yes:
      return true;
  }
  return false;
}

bool TLauncherUtils::CanElevate() {
  // Windows XP has no consent prompt: "runas" there asks for another account's password.
  OsVersion v = Platform().system->Version();
  return !(v.ok && v.platformId == 2 && v.major == 5 && v.minor == 1);
}

MessageDialogSpec BuildMessageDialog(const std::wstring& aMessage, TMsgDlgType aDialogType,
                                     TMsgDlgButtons aButtons) {
  MessageDialogSpec content;
  content.text = aMessage;
  switch (aDialogType) {
    case mtWarning:
      content.title = L"Warning";
      content.icon = content.taskDialogIcon = DialogIcon::Warning;
      break;
    case mtError:
      content.title = L"Error";
      content.icon = content.taskDialogIcon = DialogIcon::Error;
      break;
    case mtInformation:
      content.title = L"Information";
      content.icon = content.taskDialogIcon = DialogIcon::Information;
      break;
    case mtConfirmation:
      content.title = L"Confirm";
      content.icon = DialogIcon::Question;
      // The task dialog has no question-mark icon.
      content.taskDialogIcon = DialogIcon::Information;
      break;
    case mtCustom:
      content.title = kApplicationTitle;
      break;
  }
  struct Row {
    TMsgDlgBtn button;
    const wchar_t* caption;
    int result;
  };
  static const Row rows[] = {
      {mbYes, L"&Yes", mrYes},
      {mbNo, L"&No", mrNo},
      {mbOK, L"OK", mrOk},
      {mbCancel, L"Cancel", mrCancel},
      {mbAbort, L"&Abort", mrAbort},
      {mbRetry, L"&Retry", mrRetry},
      {mbIgnore, L"&Ignore", mrIgnore},
      {mbAll, L"&All", mrAll},
      {mbNoToAll, L"N&o to All", mrNoToAll},
      {mbYesToAll, L"Yes to &All", mrYesToAll},
      {mbClose, L"&Close", mrClose},
  };
  // The help button is never shown: the launcher has no help topics.
  for (const Row& row : rows)
    if (aButtons.Has(row.button)) content.buttons.push_back({row.caption, row.result});
  content.defaultResult = aButtons.Has(mbOK) ? mrOk : aButtons.Has(mbYes) ? mrYes : mrRetry;
  // Escape and the close box answer Cancel where there is one, else No, else the default.
  content.closeResult = aButtons.Has(mbCancel) ? mrCancel
                     : aButtons.Has(mbNo)   ? mrNo
                     : aButtons.Has(mbOK)   ? mrOk
                                            : mrCancel;
  return content;
}

TModalResult MessageDlg(const std::wstring& aMessage, TMsgDlgType aDialogType,
                        TMsgDlgButtons aButtons) {
  return Platform().ui->ShowMessageDialog(BuildMessageDialog(aMessage, aDialogType, aButtons));
}

TModalResult TLauncherUtils::Say(const std::wstring& aMessage, TMsgDlgType aDialogType,
                                 TMsgDlgButtons aButtons) {
  MessageDialogSpec content = BuildMessageDialog(aMessage, aDialogType, aButtons);
  content.lowerTopmost = true;
  return Platform().ui->ShowMessageDialog(content);
}

}  // namespace zl
