#include "tools/hostkit/call_guard.h"

#include <algorithm>
#include <cstdlib>

#include "tools/hostkit/cdecl_probe.h"
#include "tools/hostkit/code_location.h"
#include "tools/hostkit/exception_text.h"

namespace hostkit {
namespace {

// The filter gets no context: the live guard is found here.
std::atomic<CallGuard*> activeGuard{nullptr};

constexpr DWORD WatchIntervalMs = 50;
std::string Location(const void* address) {
  char text[160];
  DescribeCodeAddress(address, text, sizeof text);
  return text;
}

ExceptionFacts Facts(const EXCEPTION_RECORD& record) {
  return {record.ExceptionCode,
          record.NumberParameters,
          {static_cast<std::uint32_t>(record.ExceptionInformation[0]),
           static_cast<std::uint32_t>(record.ExceptionInformation[1])},
          Location(record.ExceptionAddress)};
}

}  // namespace

CallGuard::CallGuard(DWORD timeoutMs, FatalHandler onFatal)
    : timeoutMs_(timeoutMs),
      onFatal_(std::move(onFatal)),
      threadId_(GetCurrentThreadId()),
      faulted_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (activeGuard.exchange(this) != nullptr) {
    std::fputs("CallGuard: only one may be alive at a time\n", stderr);
    std::abort();
  }
  // No system dialog for a crash or for a missing disk: the guard reports it instead.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  previousFilter_ = SetUnhandledExceptionFilter(&OnUnhandledException);
  watchdog_ = std::thread([this] { Watch(); });
}

CallGuard::~CallGuard() {
  SetEvent(stop_);
  watchdog_.join();
  SetUnhandledExceptionFilter(previousFilter_);
  activeGuard = nullptr;
  CloseHandle(faulted_);
  CloseHandle(stop_);
}

void CallGuard::Begin(const char* function, std::initializer_list<std::uint32_t> arguments,
                      const std::string* what) {
  {
    const std::lock_guard lock(mutex_);
    function_ = function;
    argumentCount_ = std::min(arguments.size(), std::size(arguments_));
    std::copy_n(arguments.begin(), argumentCount_, arguments_);
    if (what != nullptr) what_ = *what;
  }
  callStartedAt_ = GetTickCount64();
  ++callNumber_;
  inCall_ = true;
}

void CallGuard::End() {
  inCall_ = false;
}

std::string CallGuard::CallInProgress() {
  const std::lock_guard lock(mutex_);
  return function_ == nullptr ? what_ : FormatCall(function_, arguments_, argumentCount_);
}

GuardedResult CallGuard::Call(const char* function, const void* address,
                              std::initializer_list<std::uint32_t> arguments) {
  CallProbe probe{};
  Begin(function, arguments, nullptr);
  ProbeCdeclCall(address, arguments.begin(), static_cast<std::uint32_t>(arguments.size()), &probe);
  End();
  return {probe.result, CdeclBreach(function, probe)};
}

void CallGuard::Run(const std::string& what, const std::function<void()>& work) {
  Begin(nullptr, {}, &what);
  work();
  End();
}

LONG WINAPI CallGuard::OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  CallGuard* guard = activeGuard;
  if (guard == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  // As little as possible here: this may be the last of an overflowed stack. The watchdog
  // writes the account; this thread waits for the end of the process.
  guard->fault_ = *pointers->ExceptionRecord;
  guard->faultThread_ = GetCurrentThreadId();
  guard->faultInCall_ = guard->faultThread_ == guard->threadId_ && guard->inCall_;
  SetEvent(guard->faulted_);
  for (;;) Sleep(INFINITE);
}

void CallGuard::Watch() {
  const HANDLE events[] = {stop_, faulted_};
  for (;;) {
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, WatchIntervalMs);
    if (woken == WAIT_OBJECT_0) return;
    if (woken == WAIT_OBJECT_0 + 1) {
      const std::string where =
          faultInCall_ ? CallInProgress()
                       : "a thread (" + std::to_string(faultThread_) + ") outside any call";
      EndProcess(where + " crashed: " + DescribeException(Facts(fault_)));
    }
    const std::uint32_t number = callNumber_;
    if (!inCall_ || timeoutMs_ == NoLimit || GetTickCount64() - callStartedAt_ < timeoutMs_) {
      continue;
    }
    const std::string call = CallInProgress();
    // Still the same call: it has not returned within the limit.
    if (inCall_ && number == callNumber_) {
      EndProcess(call + " did not return within " + SecondsText(timeoutMs_));
    }
  }
}

void CallGuard::EndProcess(const std::string& account) {
  onFatal_(account);
  std::fflush(stdout);
  std::fflush(stderr);
  // Not ExitProcess: it would run the stuck plug-in's DllMain and wait on the stuck thread.
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

}  // namespace hostkit
