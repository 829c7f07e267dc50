#pragma once
// TBGWorker: the launch worker thread. It runs its entry, then its end handler on the main
// thread (waiting until that has returned), then destroys itself.

#include <functional>

namespace zl {

using TProc = std::function<void()>;
using TThreadProcedure = std::function<void()>;

class TBGWorker {
 public:
  // Made suspended on the heap; Start runs it once and it frees itself after its end handler.
  static TBGWorker* CreateSuspended() { return new TBGWorker(); }

  const TProc& ThreadEntry() const { return FThreadEntry; }
  void SetThreadEntry(TProc entry) { FThreadEntry = std::move(entry); }
  // The end handler; runs on the main thread after the work, whatever the reason it ended.
  std::function<void(TBGWorker*)> OnTerminate;

  void Start();
  // Runs aRoutine on the main thread and returns when it has finished; an error it raises is
  // raised again here. On the main thread it runs aRoutine at once.
  void UpdateUI(const TThreadProcedure& aRoutine);

 private:
  TBGWorker() = default;
  void Execute();
  void Run();
  TProc FThreadEntry;
};

// The running launch worker, for the location dialog deep inside steps 2 and 4.
extern TBGWorker* LocatorWorker;

}  // namespace zl
