#include "discovery/LocateProgramFormDef.h"

namespace zl {

const wchar_t* const TLocateProgramForm::kCaption = L"Information";
const wchar_t* const TLocateProgramForm::kHelpLink =
    L"https://www.zelkora.example/support/launcher";

void TLocateProgramForm::Button1Click() { FProceed = true; }

void TLocateProgramForm::lblLinkClick() {
  Platform().shell->ShellExecute(L"OPEN", FLinkText, L"", L"", kSwShowNormal);
}

LocateProgramFormContent TLocateProgramForm::Content() {
  LocateProgramFormContent content;
  content.caption = kCaption;
  content.labels = {
      L"Please locate your Velmont or Quenda executable in the following step to continue "
      L"launching.",
      L"Here is an example of a default location where it might be located:",
      L"Example for Quenda: \\\\servername\\Zelkora$\\Quenda\\Quenda.exe",
      L"Example for Velmont: \\\\servername\\Zelkora$\\Velmont\\Velmont.exe",
      L"For more information on the Zelkora Launcher, please visit this link.",
      L"Click Next below to continue.",
  };
  content.link = FLinkText;
  content.nextCaption = L"Next";
  content.onLinkClick = [this] { lblLinkClick(); };
  return content;
}

void TLocateProgramForm::ShowModal() {
  if (Platform().ui->ShowLocateProgramForm(Content())) Button1Click();
}

}  // namespace zl
