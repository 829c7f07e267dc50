#pragma once
// LauncherUtils: starting programs and waiting for them, folder and file probes, the 64-bit and
// elevation tests, the message dialog that lowers top-most windows, and unzipping. Class
// operations only, each on the ports of the run that calls it.

#include <string>

#include "model/MessageDialog.h"
#include "platform/Platform.h"

namespace zl {

class LauncherUtils {
 public:
  LauncherUtils() = delete;

  // directory: the working folder; empty for the program's own folder.
  static bool RunExecutableFile(const PlatformServices& ports, const std::wstring& fileName,
                                const std::wstring& params, bool hideError, bool runAs,
                                const std::wstring& directory = std::wstring());
  static bool ExecuteCommand(const PlatformServices& ports, const std::wstring& commandString,
                             bool elevate);
  static void Unzip(IFileSystem& files, const std::wstring& file, const std::wstring& unzipPath);
  static void ProbeDir(const PlatformServices& ports, const std::wstring& path);
  static bool CheckFile(const PlatformServices& ports, const std::wstring& filePath);
  static bool Is64Bit(ISystem& system);
  static bool CanElevate(ISystem& system);
  static ModalResult Say(IUserInterface& ui, const std::wstring& message, MsgDlgType dialogType,
                         MsgDlgButtons buttons);
};

}  // namespace zl
