#pragma once
// BGWorker: the launch worker thread. It runs its entry, then its end handler on the main
// thread (waiting until that has returned), then destroys itself.

#include <functional>

namespace zl {

class IUserInterface;

using Proc = std::function<void()>;
using ThreadProcedure = std::function<void()>;

class BGWorker {
 public:
  // Made suspended on the heap; Start runs it once and it frees itself after its end handler.
  static BGWorker* CreateSuspended(IUserInterface& ui) { return new BGWorker(ui); }

  const Proc& ThreadEntry() const { return thread_entry_; }
  void SetThreadEntry(Proc entry) { thread_entry_ = std::move(entry); }
  // The end handler; runs on the main thread after the work, whatever the reason it ended.
  void SetOnTerminate(std::function<void(BGWorker*)> handler) {
    on_terminate_ = std::move(handler);
  }

  void Start();
  // Runs routine on the main thread and returns when it has finished; an error it raises is
  // raised again here. On the main thread it runs routine at once.
  void UpdateUI(const ThreadProcedure& routine);

 private:
  explicit BGWorker(IUserInterface& ui) : ui_(ui) {}
  void Execute();
  void Run();
  IUserInterface& ui_;
  Proc thread_entry_;
  std::function<void(BGWorker*)> on_terminate_;
};

}  // namespace zl
