#include "tools/hostkit/call_guard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tools/hostkit/cdecl_probe.h"

namespace hostkit {
namespace {

// The filter gets no context: the live guard is found here.
std::atomic<CallGuard*> activeGuard{nullptr};

constexpr DWORD WatchIntervalMs = 50;
// The exception Visual C++ raises for a C++ throw.
constexpr DWORD MicrosoftCxxException = 0xE06D7363;

std::string Hex(std::uintptr_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

std::string ExceptionName(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
      return "access violation";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:
      return "privileged instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "integer divide by zero";
    case EXCEPTION_INT_OVERFLOW:
      return "integer overflow";
    case EXCEPTION_STACK_OVERFLOW:
      return "stack overflow";
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      return "misaligned data access";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return "array bounds exceeded";
    case EXCEPTION_IN_PAGE_ERROR:
      return "in-page error";
    case EXCEPTION_GUARD_PAGE:
      return "guard page violation";
    case EXCEPTION_BREAKPOINT:
      return "breakpoint";
    case EXCEPTION_SINGLE_STEP:
      return "single step";
    case EXCEPTION_NONCONTINUABLE_EXCEPTION:
      return "non-continuable exception";
    case EXCEPTION_INVALID_HANDLE:
      return "invalid handle";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return "floating-point divide by zero";
    case EXCEPTION_FLT_INVALID_OPERATION:
      return "invalid floating-point operation";
    case EXCEPTION_FLT_OVERFLOW:
      return "floating-point overflow";
    case EXCEPTION_FLT_UNDERFLOW:
      return "floating-point underflow";
    case EXCEPTION_FLT_STACK_CHECK:
      return "floating-point stack check";
    case EXCEPTION_FLT_DENORMAL_OPERAND:
      return "denormal floating-point operand";
    case EXCEPTION_FLT_INEXACT_RESULT:
      return "inexact floating-point result";
    case MicrosoftCxxException:
      return "unhandled C++ exception";
    default:
      return "exception " + Hex(code);
  }
}

std::string SecondsText(DWORD milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", milliseconds / 1000.0);
  return text;
}

std::string FormatCall(const char* function, const std::uint32_t* arguments, std::size_t count) {
  std::string text = std::string(function) + "(";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ", ";
    text += arguments[i] <= 0xFFFF ? std::to_string(arguments[i]) : Hex(arguments[i]);
  }
  return text + ")";
}

// "Crash.dll+0x15b7", or the bare address outside any module.
std::string DescribeCodeAddress(const void* address) {
  HMODULE module = nullptr;
  char path[MAX_PATH];
  if (GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module) &&
      GetModuleFileNameA(module, path, MAX_PATH) > 0) {
    const std::string full(path);
    const std::string name = full.substr(full.find_last_of("\\/") + 1);
    char offset[16];
    std::snprintf(offset, sizeof offset, "+0x%lx",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(address) -
                                             reinterpret_cast<std::uintptr_t>(module)));
    return name + offset;
  }
  return Hex(reinterpret_cast<std::uintptr_t>(address));
}

// "access violation writing 0x00000008 at Crash.dll+0x15b7".
std::string DescribeException(const EXCEPTION_RECORD& record) {
  std::string text = ExceptionName(record.ExceptionCode);
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
    const ULONG_PTR kind = record.ExceptionInformation[0];
    text += kind == 0 ? " reading " : kind == 1 ? " writing " : " executing ";
    text += Hex(record.ExceptionInformation[1]);
  }
  return text + " at " + DescribeCodeAddress(record.ExceptionAddress);
}

}  // namespace

std::string DescribeCall(const char* function, std::initializer_list<std::uint32_t> arguments) {
  return FormatCall(function, arguments.begin(), arguments.size());
}

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
      EndProcess(where + " crashed: " + DescribeException(fault_));
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
