#include "launcher/LaunchSequence.h"

#include "model/LauncherUtils.h"
#include "model/Trace.h"
#include "prerequisites/AppInspector.h"
#include "steps/LaunchSteps.h"
#include "utils/Text.h"
#include "utils/Paths.h"

namespace zl {

namespace {
const wchar_t* const kCrLf = L"\r\n";
}

void LaunchSequence::OnCreate() { view_.SetStatusText(L""); }

void LaunchSequence::TraceOptions() {
  const LauncherOptions& o = run_.options;
  std::wstring allowed;
  for (const std::wstring& name : o.AllowedServers())
    allowed += (allowed.empty() ? L"" : L",") + name;
  Trace::Line(L"Started as " + run_.System().CommandLine());
  Trace::Line(L"Options: AppLocation=\"" + o.AppLocation() + L"\" OrvexAddress=\"" +
              o.OrvexAddress() + L"\" PortOffset=" + IntToText(o.PortOffset()) + L" SkipCR=" +
              (o.SkipCR() ? L"1" : L"0") + L" SkipPC=" + (o.SkipPC() ? L"1" : L"0") +
              L" DownloadServer=\"" + o.DownloadServer() + L"\" AllowedServers=\"" + allowed +
              L"\" RequireInstallerHashes=" + (o.RequireInstallerHashes() ? L"1" : L"0") +
              L" LogFile=\"" + o.LogFile() + L"\"");
}

void LaunchSequence::OnActivate() {
  // Activation recurs (each time a dialog closes); only the first one starts the worker. The
  // flag is set here, on the main thread, so no later activation can race the worker's start.
  if (is_launching_) return;
  is_launching_ = true;
  worker_ = BGWorker::CreateSuspended(run_.Ui());
  worker_->SetThreadEntry([this] { Launch(); });
  worker_->SetOnTerminate([this](BGWorker* sender) { OnWorkerTerminate(sender); });
  worker_->Start();
}

void LaunchSequence::Launch() {
  is_launching_ = true;
  // What an earlier run found on the share may have changed since.
  run_.cache.Forget();
  Trace::SetLogFile(run_.options.LogFile());
  TraceOptions();

  for (const LaunchStep& step : LaunchSteps()) {
    if (step.thread == StepThread::Worker) {
      UpdateProgress(step.label, step.number);
      step.run(run_);
      if (ReportErrors(false)) return;
      continue;
    }
    bool fatal = false;
    worker_->UpdateUI([&] {
      UpdateProgress(step.label, step.number);
      step.run(run_);
      if (ReportErrors(false)) {
        run_.Ui().Terminate();
        fatal = true;
      }
    });
    if (fatal) return;
  }

  UpdateProgress(L"Launching App", kNumberOfSteps);
  ReportErrors(true);
  RunApplication();
  run_.System().Sleep(4500);
}

void LaunchSequence::EndStep() {
  if (step_ == 0) return;
  Trace::Line(L"Step " + IntToText(step_) + L" took " +
              IntToText(static_cast<int>(run_.System().TickCount() - step_started_)) + L" ms");
  step_ = 0;
}

void LaunchSequence::UpdateProgress(const std::wstring& progressText, int progressStep) {
  EndStep();
  step_ = progressStep;
  step_started_ = run_.System().TickCount();
  Trace::Line(L"Step " + IntToText(progressStep) + L": " + progressText);
  worker_->UpdateUI([this, progressText, progressStep] {
    view_.SetProgress(static_cast<double>(progressStep) / kNumberOfSteps * 100.0);
    view_.SetStatusText(progressText);
    run_.Ui().ProcessMessages();
  });
}

bool LaunchSequence::ReportErrors(bool showWarnings) {
  LaunchErrorList& list = run_.findings;
  std::wstring text;
  if (list.IsFatal()) {
    for (int i = 0; i < list.Count(); ++i)
      if (list.Items(i)->Severity() == ErrorSeverity::Critical) text = list.Items(i)->Message();
  }
  LaunchError* offers[3] = {nullptr, nullptr, nullptr};  // crystal, barcode, braille
  if (list.Count() > 0) {
    if (list.Count() > 1 && list.IsFatal())
      text += std::wstring(kCrLf) + kCrLf + L"Additionally, the following warnings were thrown:" +
              kCrLf;
    for (int i = 0; i < list.Count(); ++i) {
      LaunchError* e = list.Items(i);
      if (i > 0) text += std::wstring(kCrLf) + kCrLf;
      switch (e->Severity()) {
        case ErrorSeverity::Warning:
          text += e->Message();
          break;
        case ErrorSeverity::Crystal:
        case ErrorSeverity::Barcode:
        case ErrorSeverity::Braille:
          offers[static_cast<int>(e->Severity()) - static_cast<int>(ErrorSeverity::Crystal)] = e;
          break;
        case ErrorSeverity::Critical:
          break;
      }
    }
  }
  IUserInterface& ui = run_.Ui();
  ui.ProcessMessages();
  bool result = false;
  if (list.IsFatal()) {
    EndStep();
    Trace::Line(L"Stopped: the Attention box says: " + text);
    ui.MessageBox(text, L"Attention", mb::Ok | mb::IconWarning | mb::SetForeground);
    ui.Terminate();
    result = true;
  } else if (showWarnings && list.Count() > 0) {
    Trace::Line(L"Warnings shown before the start: " + text);
    LauncherUtils::Say(ui, text, MsgDlgType::Warning, {MsgDlgBtn::OK});
  }
  // Offers are asked once: each is removed after its question, whatever the answer.
  void (*const installers[3])(LaunchRun&) = {&AppInspector::InstallCrystal,
                                             &AppInspector::InstallBarcodeFonts,
                                             &AppInspector::InstallBrailleFonts};
  for (int k = 0; k < 3; ++k) {
    if (!offers[k]) continue;
    const bool yes = MessageDlg(ui, offers[k]->Message(), MsgDlgType::Confirmation,
                                {MsgDlgBtn::Yes, MsgDlgBtn::No}) == kModalYes;
    Trace::Line(std::wstring(L"Offer answered ") + (yes ? L"Yes" : L"No") + L": " +
                offers[k]->Message());
    if (yes) installers[k](run_);
    list.Remove(offers[k]);
  }
  return result;
}

void LaunchSequence::RunApplication() {
  // A start that fails is not reported: the launcher ends as after a successful start.
  try {
    const std::wstring& app = run_.options.AppLocation();
    const std::wstring parameters = BuildApplicationParameters(run_.options);
    EndStep();
    Trace::Line(L"Starting \"" + app + L"\" with the parameters \"" + parameters + L"\" in \"" +
                ExtractFilePath(app) + L"\"");
    run_.Shell().ShellExecute(L"open", app, parameters, ExtractFilePath(app), kSwShowNormal);
  } catch (...) {
  }
  run_.Ui().Terminate();
}

void LaunchSequence::OnWorkerTerminate(BGWorker*) { run_.Ui().Terminate(); }

}  // namespace zl
