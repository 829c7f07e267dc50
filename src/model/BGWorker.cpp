#include "model/BGWorker.h"

#include "platform/Platform.h"

namespace zl {

void BGWorker::Start() {
  ui_.StartThread([this] { Run(); }, L"BGWorker");
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
    ui_.RunOnMainThread([this] {
      if (on_terminate_) on_terminate_(this);
    });
  } catch (...) {
  }
  delete this;
}

void BGWorker::UpdateUI(const ThreadProcedure& routine) { ui_.RunOnMainThread(routine); }

}  // namespace zl
