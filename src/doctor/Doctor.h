#pragma once
// Doctor: the launcher's steps 1 to 5 for the IT admin, checking a workstation without changing
// it and without asking anything. The platform it runs on must be the dry-run one (writes
// recorded, nothing started) with a DoctorUserInterface, which answers every question the
// launcher would put by noting it. The report has one check per finding, question or skipped
// test, the command line the application would get, and the changes the launcher would make.

#include <optional>
#include <string>
#include <vector>

#include "platform/DryRun.h"
#include "platform/Platform.h"

namespace zl {

struct DoctorCheck {
  int step = 0;
  std::wstring status;  // OK, WARNING, CRITICAL, OFFER, ASK or SKIPPED
  std::wstring message;
  bool operator==(const DoctorCheck& o) const {
    return step == o.step && status == o.status && message == o.message;
  }
};

struct DoctorReport {
  std::vector<DoctorCheck> checks;
  std::wstring commandLine;  // empty when the launcher would not start the application
  std::vector<std::wstring> changes;
  // 0: the application would start without a question; 1: warnings, offers or questions only;
  // 2: a critical finding; 3: the doctor itself failed.
  int exitCode = 0;
};

// Questions become checks of the step under way; every answer is the one that asks no more.
class DoctorUserInterface : public IUserInterface {
 public:
  int step = 0;
  std::vector<DoctorCheck> asked;

  int MessageBox(const std::wstring& text, const std::wstring& caption, uint32_t flags) override;
  int ShowMessageDialog(const MessageDialogSpec& content) override;
  void ProcessMessages() override {}
  void Terminate() override {}
  bool IsMainThread() override { return true; }
  void RunOnMainThread(const std::function<void()>& routine) override { routine(); }
  void StartThread(std::function<void()> body, const std::wstring&) override { body(); }
  bool ShowLocateProgramForm(const LocateProgramFormContent& content) override;
  std::optional<std::wstring> ShowOpenFileDialog(const OpenFileDialogRequest& request) override;
  void ShowInstallerWindow(const std::function<void(IInstallerWindow&)>&) override {}
};

class Doctor {
 public:
  Doctor() = delete;

  // Loads the options, with launcherCommandLine as the launcher's own command line, and runs
  // the steps on the installed platform.
  static DoctorReport Run(DoctorUserInterface& ui, const ChangeLog& log,
                          const std::wstring& launcherCommandLine);
  // One line per check: "step n  STATUS  message", line breaks as " / "; then the command
  // line and the changes.
  static std::wstring Text(const DoctorReport& report);
  // {"checks": [{"step": n, "status": "...", "message": "..."}], "commandLine": "...",
  //  "changes": [...], "exitCode": n}, UTF-8.
  static std::string Json(const DoctorReport& report);
};

}  // namespace zl
