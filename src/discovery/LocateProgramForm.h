#pragma once
// LocateProgramForm: the information window shown before the user picks the application's
// executable. This is the window's logic (texts, what Next and the link do); the Win32 side lays
// the content out and reports which way it was closed.

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zl {

class LocateProgramForm {
 public:
  static const wchar_t* const kCaption;
  // lblLink's text: the address of our help page about the launcher, opened when clicked.
  static const wchar_t* const kHelpLink;

  // The link opens through shell; the window shows through ui.
  LocateProgramForm(IShell& shell, IUserInterface& ui) : shell_(shell), ui_(ui) {}

  // False when the window is made; only Next sets it.
  bool Proceed() const { return proceed_; }
  void SetProceed(bool value) { proceed_ = value; }

  // Next pressed. The window itself closes in the platform's handler.
  void OnNextClicked();
  // Opens lblLink's current text through the shell; a failed start is ignored, the window stays.
  void OnLinkClicked();

  // The window's texts. labels holds Label1 ... Label6 by their number; on screen Label6 ("Click
  // Next below to continue.") stands second, right under Label1.
  LocateProgramFormContent Content();
  // Content's labels alone.
  static const std::vector<std::wstring>& Labels();

  // Modal on the main thread until Next or the close box closes it.
  void ShowModal();

 private:
  IShell& shell_;
  IUserInterface& ui_;
  bool proceed_ = false;
  std::wstring link_text_ = kHelpLink;
};

}  // namespace zl
