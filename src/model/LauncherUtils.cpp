#include "model/LauncherUtils.h"

#include "platform/Platform.h"
#include "utils/Paths.h"
#include "utils/Text.h"
#include "utils/ZipArchive.h"

namespace zl {

namespace {

bool WaitForProcess(IUserInterface& ui, ShellStart& started) {
  if (started.process) {
    // No overall limit: the launcher waits as long as the program runs, keeping its windows alive.
    while (!started.process->Wait(100)) ui.ProcessMessages();
    started.process.reset();
  }
  ui.ProcessMessages();
  return true;
}

}  // namespace

bool LauncherUtils::RunExecutableFile(const PlatformServices& ports, const std::wstring& fileName,
                                      const std::wstring& params, bool hideError, bool runAs,
                                      const std::wstring& directory) {
  ShellExecuteRequest r;
  r.mask = see::NoCloseProcess | see::NoZoneChecks | (hideError ? see::FlagNoUi : 0);
  if (runAs) r.verb = CanElevate(*ports.system) ? L"runas" : L"open";
  r.file = fileName;
  r.parameters = params;
  r.directory = directory.empty() ? GetDir(fileName) : directory;
  r.show = kSwHide;
  ShellStart started = ports.shell->ShellExecuteEx(r);
  if (!started.ok) return false;
  return WaitForProcess(*ports.ui, started);
}

bool LauncherUtils::ExecuteCommand(const PlatformServices& ports, const std::wstring& commandString,
                                   bool elevate) {
  ShellExecuteRequest r;
  r.mask = see::NoCloseProcess;
  r.verb = (elevate && CanElevate(*ports.system)) ? L"runas" : L"open";
  r.file = L"cmd";
  r.parameters = commandString;
  r.show = kSwHide;
  ShellStart started = ports.shell->ShellExecuteEx(r);
  if (!started.ok) return false;
  return WaitForProcess(*ports.ui, started);
}

void LauncherUtils::Unzip(IFileSystem& files, const std::wstring& file,
                          const std::wstring& unzipPath) {
  ExtractZip(files, file, unzipPath);
}

void LauncherUtils::ProbeDir(const PlatformServices& ports, const std::wstring& path) {
  // Starting a program that cannot exist makes the shell resolve the folder (and log on to a
  // server share with the user's credentials) before the caller tests something there.
  try {
    std::wstring probe = GetDir(path) + ports.system->NewGuidText() + L".exe";
    RunExecutableFile(ports, probe, L"", true, false);
  } catch (...) {
  }
}

bool LauncherUtils::CheckFile(const PlatformServices& ports, const std::wstring& filePath) {
  ProbeDir(ports, GetDir(filePath));
  FileAttributes a = ports.files->GetAttributes(filePath);
  return a.exists && !a.directory;
}

bool LauncherUtils::Is64Bit(ISystem& system) {
  switch (system.IsWow64()) {
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

bool LauncherUtils::CanElevate(ISystem& system) {
  // Windows XP has no consent prompt: "runas" there asks for another account's password.
  OsVersion v = system.Version();
  return !(v.ok && v.platformId == 2 && v.major == 5 && v.minor == 1);
}

ModalResult LauncherUtils::Say(IUserInterface& ui, const std::wstring& message,
                               MsgDlgType dialogType, MsgDlgButtons buttons) {
  MessageDialogSpec content = BuildMessageDialog(message, dialogType, buttons);
  content.lowerTopmost = true;
  return ui.ShowMessageDialog(content);
}

}  // namespace zl
