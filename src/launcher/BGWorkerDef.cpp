#include "launcher/BGWorkerDef.h"

#include "platform/Platform.h"

namespace zl {

TBGWorker* LocatorWorker = nullptr;

void TBGWorker::Start() {
  Platform().ui->StartThread([this] { Run(); });
}

void TBGWorker::Execute() {
  if (FThreadEntry) FThreadEntry();
}

void TBGWorker::Run() {
  // Like the runtime's thread wrapper: an error that escapes the work ends it silently.
  try {
    Execute();
  } catch (...) {
  }
  try {
    Platform().ui->RunOnMainThread([this] {
      if (OnTerminate) OnTerminate(this);
    });
  } catch (...) {
  }
  if (LocatorWorker == this) LocatorWorker = nullptr;
  delete this;
}

void TBGWorker::UpdateUI(const TThreadProcedure& aRoutine) {
  Platform().ui->RunOnMainThread(aRoutine);
}

}  // namespace zl
