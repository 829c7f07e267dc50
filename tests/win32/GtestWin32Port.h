#pragma once
// Force-included into GoogleTest and the adapter tests for the mingw win32 thread model, which
// has no std::mutex or std::condition_variable: GoogleTest on Windows needs them only for its
// Notification class (used by its own thread helpers, never by our tests). This one waits on an
// atomic flag instead. No windows.h here: Sleep is declared exactly as winbase.h declares it.

#ifdef __cplusplus
#include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) Sleep(1);
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
#endif
