#include "launcher/ZelLauncherFormDef.h"

#include "checks/NetworkInspectorDef.h"
#include "checks/PCInspectorDef.h"
#include "checks/ProgramLocatorDef.h"
#include "discovery/OrvexLocatorDef.h"
#include "launcher/LauncherOptionsDef.h"
#include "platform/Platform.h"
#include "prerequisites/AppInspectorDef.h"
#include "utils/LauncherUtilsDef.h"
#include "utils/Text.h"

namespace zl {

const wchar_t* const kLauncherCaption = L"Zelkora Application Launcher";
const wchar_t* const kApplicationTitle = kLauncherCaption;

namespace {
const wchar_t* const kCrLf = L"\r\n";
}

void TZelLauncherForm::FormCreate() {
  NUMBER_OF_STEPS = 6;
  FIsLaunching = false;
  FCurrentErrors = std::make_unique<TLaunchErrorList>();
  FCurrentErrors->FIsFatal = false;
  view_.SetStatusText(L"");
}

void TZelLauncherForm::FormActivate() {
  // Activation recurs (each time a dialog closes); only the first one starts the worker. The
  // flag is set here, on the main thread, so no later activation can race the worker's start.
  if (FIsLaunching) return;
  FIsLaunching = true;
  FBGWorker = TBGWorker::CreateSuspended();
  FBGWorker->SetThreadEntry([this] { Launch(); });
  FBGWorker->OnTerminate = [this](TBGWorker* sender) { WorkerTerminate(sender); };
  FBGWorker->Start();
}

void TZelLauncherForm::Launch() {
  FIsLaunching = true;
  TLaunchErrorList& errors = *FCurrentErrors;

  UpdateProgress(L"Checking Local PC", 1);
  TPCInspector::Inspect(errors);
  if (ReportErrors(false)) return;

  UpdateProgress(L"Locating Orvex", 2);
  LocatorWorker = FBGWorker;
  TOrvexLocator::Locate(errors);
  if (ReportErrors(false)) return;

  UpdateProgress(L"Checking Network", 3);
  TNetworkInspector::Inspect(errors);
  if (ReportErrors(false)) return;

  UpdateProgress(L"Locating Application", 4);
  TProgramLocator::Locate(errors);
  if (ReportErrors(false)) return;

  // Step 5 runs on the main thread: its offers install while the window stays responsive.
  bool fatal = false;
  FBGWorker->UpdateUI([&] {
    UpdateProgress(L"Checking App Settings", 5);
    TAppInspector::Inspect(errors);
    if (ReportErrors(false)) {
      Platform().ui->Terminate();
      fatal = true;
    }
  });
  if (fatal) return;

  UpdateProgress(L"Launching App", 6);
  ReportErrors(true);
  RunApplication();
  Platform().system->Sleep(4500);
}

void TZelLauncherForm::UpdateProgress(const std::wstring& progressText, int progressStep) {
  FBGWorker->UpdateUI([this, progressText, progressStep] {
    view_.SetProgress(static_cast<double>(progressStep) / NUMBER_OF_STEPS * 100.0);
    view_.SetStatusText(progressText);
    Platform().ui->ProcessMessages();
  });
}

bool TZelLauncherForm::ReportErrors(bool aShowWarnings) {
  TLaunchErrorList& list = *FCurrentErrors;
  std::wstring text;
  if (list.FIsFatal) {
    for (int i = 0; i < list.Count(); ++i)
      if (list.Items(i)->FSeverity == esCritical) text = list.Items(i)->FMessage;
  }
  TLaunchError* offers[3] = {nullptr, nullptr, nullptr};  // crystal, barcode, braille
  if (list.Count() > 0) {
    if (list.Count() > 1 && list.FIsFatal)
      text += std::wstring(kCrLf) + kCrLf + L"Additionally, the following warnings were thrown:" +
              kCrLf;
    for (int i = 0; i < list.Count(); ++i) {
      TLaunchError* e = list.Items(i);
      if (i > 0) text += std::wstring(kCrLf) + kCrLf;
      switch (e->FSeverity) {
        case esWarning:
          text += e->FMessage;
          break;
        case esCrystal:
        case esBarcode:
        case esBraille:
          offers[e->FSeverity - esCrystal] = e;
          break;
        case esCritical:
          break;
      }
    }
  }
  IUserInterface& ui = *Platform().ui;
  ui.ProcessMessages();
  bool result = false;
  if (list.FIsFatal) {
    ui.MessageBox(text, L"Attention", mb::Ok | mb::IconWarning | mb::SetForeground);
    ui.Terminate();
    result = true;
  } else if (aShowWarnings && list.Count() > 0) {
    TLauncherUtils::Say(text, mtWarning, {mbOK});
  }
  // Offers are asked once: each is removed after its question, whatever the answer.
  void (*const installers[3])() = {&TAppInspector::InstallCrystal,
                                   &TAppInspector::InstallBarcodeFonts,
                                   &TAppInspector::InstallBrailleFonts};
  for (int k = 0; k < 3; ++k) {
    if (!offers[k]) continue;
    if (MessageDlg(offers[k]->FMessage, mtConfirmation, {mbYes, mbNo}) == mrYes) installers[k]();
    list.Remove(offers[k]);
  }
  return result;
}

std::wstring ExtractFilePath(const std::wstring& path) {
  size_t pos = path.find_last_of(L"\\:");
  return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring BuildApplicationParameters() {
  const TLauncherOptions& o = LauncherOptions;
  std::wstring p;
  if (!o.AppLocation().empty()) {
    if (o.PortOffset() != 0) p += L" -PortOffset=" + IntToText(o.PortOffset());
    if (!o.OrvexAddress().empty()) p += L" -OrvexAddress=" + o.OrvexAddress();
  }
  if (!o.ExtraOptions().empty()) p += L" " + o.ExtraOptions();
  return p;
}

void TZelLauncherForm::RunApplication() {
  // A start that fails is not reported: the launcher ends as after a successful start.
  try {
    const std::wstring& app = LauncherOptions.AppLocation();
    Platform().shell->ShellExecute(L"open", app, BuildApplicationParameters(), ExtractFilePath(app),
                                   kSwShowNormal);
  } catch (...) {
  }
  Platform().ui->Terminate();
}

void TZelLauncherForm::WorkerTerminate(TBGWorker*) { Platform().ui->Terminate(); }

}  // namespace zl
