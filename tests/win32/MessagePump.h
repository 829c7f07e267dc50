#pragma once
// Waiting in the adapter tests without blocking this thread's windows: the code under test sends
// to windows of the test's thread, so every wait keeps serving its messages.

#include "platform/win32/Win32Api.h"

#include <algorithm>
#include <string>

namespace zl::win32::testing {

constexpr DWORD kBound = 15000;  // ms: generous for a loaded machine, short for a hang

inline std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

inline void PumpPending() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// Pumps this thread's messages until done() holds; false when the bound passes first. Windows
// of other threads give no event to wait for, so they are looked for again whenever a message
// arrives and at least every 20 ms.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs = kBound) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    PumpPending();
    if (done()) return true;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(20, timeoutMs - elapsed),
                                QS_ALLINPUT);
  }
}

// Waits for an event while serving this thread's messages.
inline bool PumpUntilSignalled(HANDLE event, DWORD timeoutMs = kBound) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs) return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    const DWORD rc =
        ::MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (rc == WAIT_OBJECT_0) return true;
    if (rc != WAIT_OBJECT_0 + 1) return false;
    PumpPending();
  }
}

}  // namespace zl::win32::testing
