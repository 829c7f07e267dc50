#pragma once
// The launcher's message dialog: a kind (which title and icon), a set of buttons, and the button
// the user pressed. What the dialog shows is decided here as a MessageDialogSpec, so it can be
// checked without a screen; the platform only draws it.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace zl {

enum class MsgDlgType { Warning, Error, Information, Confirmation, Custom };

enum class MsgDlgBtn {
  Yes,
  No,
  OK,
  Cancel,
  Abort,
  Retry,
  Ignore,
  All,
  NoToAll,
  YesToAll,
  Help,
  Close
};

// A set of MsgDlgBtn, one bit per button.
class MsgDlgButtons {
 public:
  MsgDlgButtons() = default;
  MsgDlgButtons(std::initializer_list<MsgDlgBtn> buttons) {
    for (auto b : buttons) bits_ |= Bit(b);
  }
  bool Has(MsgDlgBtn b) const { return (bits_ & Bit(b)) != 0; }

 private:
  static uint32_t Bit(MsgDlgBtn b) { return 1u << static_cast<unsigned>(b); }
  uint32_t bits_ = 0;
};

// The button that closed a dialog; the numbers are Windows' own button ids.
using ModalResult = int;
constexpr ModalResult kModalNone = 0, kModalOk = 1, kModalCancel = 2, kModalAbort = 3,
                      kModalRetry = 4, kModalIgnore = 5, kModalYes = 6, kModalNo = 7,
                      kModalClose = 8, kModalAll = 12, kModalNoToAll = 13, kModalYesToAll = 14;

struct MessageDialogSpec;
class IUserInterface;

// The launcher's own caption: its main window, its error box, dialogs of the kind
// MsgDlgType::Custom.
inline constexpr wchar_t kApplicationTitle[] = L"Zelkora Application Launcher";

// What the dialog shows for a kind and a set of buttons: title, icon, buttons left to right,
// default button.
MessageDialogSpec BuildMessageDialog(const std::wstring& message, MsgDlgType dialogType,
                                     MsgDlgButtons buttons);

// The modal message dialog shown directly (the Yes/No questions and error messages), without
// LauncherUtils::Say's lowering of top-most windows.
ModalResult MessageDlg(IUserInterface& ui, const std::wstring& message, MsgDlgType dialogType,
                       MsgDlgButtons buttons);

}  // namespace zl
