#include "discovery/LocateProgramForm.h"

namespace zl {

const wchar_t* const LocateProgramForm::kCaption = L"Information";
const wchar_t* const LocateProgramForm::kHelpLink = L"https://www.zelkora.example/support/launcher";

void LocateProgramForm::OnNextClicked() { proceed_ = true; }

void LocateProgramForm::OnLinkClicked() {
  shell_.ShellExecute(L"OPEN", link_text_, L"", L"", kSwShowNormal);
}

const std::vector<std::wstring>& LocateProgramForm::Labels() {
  static const std::vector<std::wstring> labels = {
      L"Please locate your Velmont or Quenda executable in the following step to continue "
      L"launching.",
      L"Here is an example of a default location where it might be located:",
      L"Example for Quenda: \\\\servername\\Zelkora$\\Quenda\\Quenda.exe",
      L"Example for Velmont: \\\\servername\\Zelkora$\\Velmont\\Velmont.exe",
      L"For more information on the Zelkora Launcher, please visit this link.",
      L"Click Next below to continue.",
  };
  return labels;
}

LocateProgramFormContent LocateProgramForm::Content() {
  LocateProgramFormContent content;
  content.caption = kCaption;
  content.labels = Labels();
  content.link = link_text_;
  content.nextCaption = L"Next";
  content.onLinkClick = [this] { OnLinkClicked(); };
  return content;
}

void LocateProgramForm::ShowModal() {
  if (ui_.ShowLocateProgramForm(Content())) OnNextClicked();
}

}  // namespace zl
