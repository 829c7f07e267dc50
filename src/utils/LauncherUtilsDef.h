#pragma once
// TLauncherUtils: starting programs and waiting for them, folder probes, path operations, the
// 64-bit and elevation tests, the message dialog and unzipping. Class operations only.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace zl {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
  mbClose
};

// A set of TMsgDlgBtn, one bit per button.
class TMsgDlgButtons {
 public:
  TMsgDlgButtons() = default;
  TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (auto b : buttons) bits_ |= 1u << b;
  }
  bool Has(TMsgDlgBtn b) const { return (bits_ >> b) & 1u; }

 private:
  uint32_t bits_ = 0;
};

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                       mrYes = 6, mrNo = 7, mrClose = 8, mrAll = 12, mrNoToAll = 13,
                       mrYesToAll = 14;

struct MessageDialogSpec;

// The title of dialogs of the kind mtCustom.
extern const wchar_t* const kApplicationTitle;

// The extension of a path's last component, from its last dot, dot included; empty without one.
std::wstring ExtractFileExt(const std::wstring& aPath);
// The path with the text after its extension's dot replaced by aExt; a name without a dot
// gets one first.
std::wstring ChangeFileExt(const std::wstring& aPath, const std::wstring& aExt);

class TLauncherUtils {
 public:
  TLauncherUtils() = delete;

  static void Install(const std::wstring& aDisplayName, const std::wstring& aFileName,
                      const std::wstring& aURL, bool aElevate, const std::wstring& aUnzipPath);
  static void InstallOrRun(const std::wstring& aFileName, bool aElevate,
                           const std::wstring& aUnzipPath);
  static bool RunExecutableFile(const std::wstring& aFileName, const std::wstring& aParams,
                                bool aHideError, bool aRunAs);
  static bool ExecuteCommand(const std::wstring& aCommandString, bool aElevate);
  static void Unzip(const std::wstring& aFile, const std::wstring& aUnzipPath);
  static void ProbeDir(const std::wstring& aPath);
  static std::wstring GetFile(const std::wstring& aFilePath);
  static std::wstring GetDir(const std::wstring& aFilePath);
  static bool CheckFile(const std::wstring& aFilePath);
  static std::wstring GetShareServerName(const std::wstring& aFilePath);
  static bool Is64Bit();
  static bool CanElevate();
  static TModalResult Say(const std::wstring& aMessage, TMsgDlgType aDialogType,
                          TMsgDlgButtons aButtons);
};

// The modal message dialog shown directly (the Yes/No questions and error messages), without
// Say's lowering of top-most windows.
TModalResult MessageDlg(const std::wstring& aMessage, TMsgDlgType aDialogType,
                        TMsgDlgButtons aButtons);

// What the dialog shows for a kind and a set of buttons: title, icon, buttons left to right,
// default button. Kept apart so it can be checked without a screen.
MessageDialogSpec BuildMessageDialog(const std::wstring& aMessage, TMsgDlgType aDialogType,
                                     TMsgDlgButtons aButtons);

}  // namespace zl
