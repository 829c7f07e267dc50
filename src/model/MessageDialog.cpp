#include "model/MessageDialog.h"

#include "platform/Platform.h"

namespace zl {

MessageDialogSpec BuildMessageDialog(const std::wstring& message, MsgDlgType dialogType,
                                     MsgDlgButtons buttons) {
  MessageDialogSpec content;
  content.text = message;
  // Title and icons by kind; the task dialog has no question-mark icon of its own.
  struct Kind {
    MsgDlgType type;
    const wchar_t* title;
    DialogIcon icon, taskDialogIcon;
  };
  static const Kind kinds[] = {
      {MsgDlgType::Warning, L"Warning", DialogIcon::Warning, DialogIcon::Warning},
      {MsgDlgType::Error, L"Error", DialogIcon::Error, DialogIcon::Error},
      {MsgDlgType::Information, L"Information", DialogIcon::Information, DialogIcon::Information},
      {MsgDlgType::Confirmation, L"Confirm", DialogIcon::Question, DialogIcon::Information},
      {MsgDlgType::Custom, kApplicationTitle, DialogIcon::None, DialogIcon::None},
  };
  for (const Kind& kind : kinds) {
    if (kind.type != dialogType) continue;
    content.title = kind.title;
    content.icon = kind.icon;
    content.taskDialogIcon = kind.taskDialogIcon;
  }
  struct Row {
    MsgDlgBtn button;
    const wchar_t* caption;
    int result;
  };
  static const Row rows[] = {
      {MsgDlgBtn::Yes, L"&Yes", kModalYes},
      {MsgDlgBtn::No, L"&No", kModalNo},
      {MsgDlgBtn::OK, L"OK", kModalOk},
      {MsgDlgBtn::Cancel, L"Cancel", kModalCancel},
      {MsgDlgBtn::Abort, L"&Abort", kModalAbort},
      {MsgDlgBtn::Retry, L"&Retry", kModalRetry},
      {MsgDlgBtn::Ignore, L"&Ignore", kModalIgnore},
      {MsgDlgBtn::All, L"&All", kModalAll},
      {MsgDlgBtn::NoToAll, L"N&o to All", kModalNoToAll},
      {MsgDlgBtn::YesToAll, L"Yes to &All", kModalYesToAll},
      {MsgDlgBtn::Close, L"&Close", kModalClose},
  };
  // The help button is never shown: the launcher has no help topics.
  for (const Row& row : rows)
    if (buttons.Has(row.button)) content.buttons.push_back({row.caption, row.result});
  content.defaultResult = buttons.Has(MsgDlgBtn::OK)    ? kModalOk
                          : buttons.Has(MsgDlgBtn::Yes) ? kModalYes
                                                        : kModalRetry;
  // Escape and the close box answer Cancel where there is one, else No, else the default.
  content.closeResult = buttons.Has(MsgDlgBtn::Cancel) ? kModalCancel
                        : buttons.Has(MsgDlgBtn::No)   ? kModalNo
                        : buttons.Has(MsgDlgBtn::OK)   ? kModalOk
                                                       : kModalCancel;
  return content;
}

ModalResult MessageDlg(IUserInterface& ui, const std::wstring& message, MsgDlgType dialogType,
                       MsgDlgButtons buttons) {
  return ui.ShowMessageDialog(BuildMessageDialog(message, dialogType, buttons));
}

}  // namespace zl
