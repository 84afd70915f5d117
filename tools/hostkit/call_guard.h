#pragma once

// Calls into a plug-in such that no fault of the plug-in's becomes plughost's own crash or hang.
// Every call runs on the thread that made the guard, through the cdecl probe, so a callee that
// breaks the calling convention is reported and survived. A watchdog thread ends the process
// cleanly, with exit status 1, when a call faults or has not returned within the time limit:
// what the plug-in did to itself cannot be undone, so it is never called again.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>

#include "tools/hostkit/guarded_result.h"

namespace hostkit {

class CallGuard {
 public:
  // Called once, on the watchdog thread, with the account of the call that crashed or hung
  // ("HandleKey(0, 7, 1) crashed: access violation writing 0x00000008 at Crash.dll+0x15b7"),
  // while that call is still stuck; the process ends with exit status 1 right after it.
  using FatalHandler = std::function<void(const std::string& account)>;

  static constexpr DWORD NoLimit = INFINITE;

  // One guard at a time: the exception filter has no context but the live guard.
  CallGuard(DWORD timeoutMs, FatalHandler onFatal);
  ~CallGuard();
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

  // Calls the export `function` at `address` with 32-bit `arguments`, as the host does.
  GuardedResult Call(const char* function, const void* address,
                     std::initializer_list<std::uint32_t> arguments);

  // Runs `work` under the same guard: loading or unloading a plug-in runs its DllMain. `what`
  // names it in the account ("loading Crash.dll").
  void Run(const std::string& what, const std::function<void()>& work);

 private:
  static LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers);
  void Begin(const char* function, std::initializer_list<std::uint32_t> arguments,
             const std::string* what);
  void End();
  std::string CallInProgress();
  void Watch();
  [[noreturn]] void EndProcess(const std::string& account);

  const DWORD timeoutMs_;
  const FatalHandler onFatal_;
  const DWORD threadId_;
  LPTOP_LEVEL_EXCEPTION_FILTER previousFilter_ = nullptr;

  // The call in progress: an export and its arguments, or a task named in words.
  std::mutex mutex_;
  const char* function_ = nullptr;
  std::uint32_t arguments_[8] = {};
  std::size_t argumentCount_ = 0;
  std::string what_;
  std::atomic<bool> inCall_{false};
  std::atomic<ULONGLONG> callStartedAt_{0};
  std::atomic<std::uint32_t> callNumber_{0};

  // Filled by the exception filter on the thread that faulted, which then waits for its end.
  EXCEPTION_RECORD fault_{};
  DWORD faultThread_ = 0;
  bool faultInCall_ = false;
  HANDLE faulted_;
  HANDLE stop_;
  std::thread watchdog_;
};

}  // namespace hostkit
