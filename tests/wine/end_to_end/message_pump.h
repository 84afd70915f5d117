#pragma once

#include <windows.h>

#include <chrono>

// Runs this thread's messages until `done()` holds or `timeoutMs` has passed, and says which.
// Windows this thread owns must keep answering: their key input arrives here, and another
// thread's modal box disables and re-enables them.
template <typename Done>
bool PumpMessagesUntil(Done done, DWORD timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}
