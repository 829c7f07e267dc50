#include "model/MessageDialog.h"

#include "platform/Platform.h"

namespace zl {

MessageDialogSpec BuildMessageDialog(const std::wstring& message, MsgDlgType dialogType,
                                     MsgDlgButtons buttons) {
  MessageDialogSpec content;
  content.text = message;
  switch (dialogType) {
    case MsgDlgType::Warning:
      content.title = L"Warning";
      content.icon = content.taskDialogIcon = DialogIcon::Warning;
      break;
    case MsgDlgType::Error:
      content.title = L"Error";
      content.icon = content.taskDialogIcon = DialogIcon::Error;
      break;
    case MsgDlgType::Information:
      content.title = L"Information";
      content.icon = content.taskDialogIcon = DialogIcon::Information;
      break;
    case MsgDlgType::Confirmation:
      content.title = L"Confirm";
      content.icon = DialogIcon::Question;
      // The task dialog has no question-mark icon.
      content.taskDialogIcon = DialogIcon::Information;
      break;
    case MsgDlgType::Custom:
      content.title = kApplicationTitle;
      break;
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

ModalResult MessageDlg(const std::wstring& message, MsgDlgType dialogType, MsgDlgButtons buttons) {
  return Platform().ui->ShowMessageDialog(BuildMessageDialog(message, dialogType, buttons));
}

}  // namespace zl
