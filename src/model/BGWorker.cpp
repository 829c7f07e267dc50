#include "model/BGWorker.h"

#include "platform/Platform.h"

namespace zl {

BGWorker* g_locator_worker = nullptr;

void BGWorker::Start() {
  Platform().ui->StartThread([this] { Run(); }, L"BGWorker");
}

void BGWorker::Execute() {
  if (thread_entry_) thread_entry_();
}

void BGWorker::Run() {
  // Like the runtime's thread wrapper: an error that escapes the work ends it silently.
  try {
    Execute();
  } catch (...) {
  }
  try {
    Platform().ui->RunOnMainThread([this] {
      if (on_terminate_) on_terminate_(this);
    });
  } catch (...) {
  }
  if (g_locator_worker == this) g_locator_worker = nullptr;
  delete this;
}

void BGWorker::UpdateUI(const ThreadProcedure& routine) { Platform().ui->RunOnMainThread(routine); }

}  // namespace zl
