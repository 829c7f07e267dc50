#pragma once
// Doctor: the launcher's steps 1 to 5 for the IT admin, checking a workstation without changing
// it and without asking anything. It runs on the dry run (writes recorded, nothing started,
// every question the launcher would put noted). The report has one check per finding, question
// or skipped test, the command line the application would get, and the changes the launcher
// would make.

#include <optional>
#include <string>
#include <vector>

#include "model/LaunchRun.h"
#include "platform/DryRun.h"

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

class Doctor {
 public:
  Doctor() = delete;

  // Loads the run's options, with launcherCommandLine as the launcher's own command line, and
  // runs the steps on the run, whose ports must be dry's.
  static DoctorReport Run(LaunchRun& run, DryRun& dry, const std::wstring& launcherCommandLine);
  // One line per check: "step n  STATUS  message", line breaks as " / "; then the command
  // line and the changes.
  static std::wstring Text(const DoctorReport& report);
  // {"checks": [{"step": n, "status": "...", "message": "..."}], "commandLine": "...",
  //  "changes": [...], "exitCode": n}, UTF-8.
  static std::string Json(const DoctorReport& report);
};

}  // namespace zl
