#pragma once
// LauncherUtils: starting programs and waiting for them, folder and file probes, the 64-bit and
// elevation tests, the message dialog that lowers top-most windows, and unzipping. Class
// operations only.

#include <string>

#include "model/MessageDialog.h"

namespace zl {

class LauncherUtils {
 public:
  LauncherUtils() = delete;

  // directory: the working folder; empty for the program's own folder.
  static bool RunExecutableFile(const std::wstring& fileName, const std::wstring& params,
                                bool hideError, bool runAs,
                                const std::wstring& directory = std::wstring());
  static bool ExecuteCommand(const std::wstring& commandString, bool elevate);
  static void Unzip(const std::wstring& file, const std::wstring& unzipPath);
  static void ProbeDir(const std::wstring& path);
  static bool CheckFile(const std::wstring& filePath);
  static bool Is64Bit();
  static bool CanElevate();
  static ModalResult Say(const std::wstring& message, MsgDlgType dialogType, MsgDlgButtons buttons);
};

}  // namespace zl
