#include "tools/hostkit/worker_process.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/hostkit/child_process.h"
#include "tools/hostkit/exception_text.h"
#include "tools/hostkit/plugin_library.h"
#include "tools/hostkit/plugin_worker.h"

namespace hostkit {
namespace {

constexpr DWORD WatchIntervalMs = 50;
constexpr DWORD QuitWaitMs = 5000;
constexpr DWORD OutputPipeSize = 1 << 16;
// Enough of what the worker printed to find a runtime's report in.
constexpr std::size_t OutputKept = 1 << 16;

std::string HandleText(HANDLE handle) {
  return std::to_string(reinterpret_cast<ULONG_PTR>(handle));
}

ExceptionFacts Facts(const worker::Fault& fault) {
  return {
      fault.code, fault.parameterCount, {fault.parameters[0], fault.parameters[1]}, fault.location};
}

std::string OwnProgram() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return {path, length};
}

}  // namespace

WorkerProcess::WorkerProcess(DWORD timeoutMs, LONG firstSerial)
    : timeoutMs_(timeoutMs), nextSerial_(firstSerial) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0,
                                sizeof(worker::Channel), nullptr);
  if (mapping_ != nullptr) {
    channel_ = static_cast<worker::Channel*>(
        MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(worker::Channel)));
  }
  request_ = CreateEventA(&inheritable, FALSE, FALSE, nullptr);
  reply_ = CreateEventA(&inheritable, FALSE, FALSE, nullptr);
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE,
                  TRUE, 0);
  HANDLE outputWrite = nullptr;
  const bool piped = CreatePipe(&output_, &outputWrite, &inheritable, OutputPipeSize) != 0;
  if (piped) SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
  if (channel_ == nullptr || request_ == nullptr || reply_ == nullptr || self == nullptr ||
      !piped) {
    if (self != nullptr) CloseHandle(self);
    if (outputWrite != nullptr) CloseHandle(outputWrite);
    Lose("the plug-in worker could not be set up (error " + std::to_string(GetLastError()) + ")");
  }

  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);
  const std::string commandLine = "\"" + OwnProgram() + "\" " + WorkerOption + " " +
                                  HandleText(mapping_) + " " + HandleText(request_) + " " +
                                  HandleText(reply_) + " " + HandleText(self);
  PROCESS_INFORMATION process{};
  const bool started =
      StartChild(commandLine, input, outputWrite, outputWrite, CREATE_NO_WINDOW, process);
  const DWORD startError = GetLastError();
  for (HANDLE theirs : {self, outputWrite, input}) {
    if (theirs != INVALID_HANDLE_VALUE) CloseHandle(theirs);
  }
  if (!started) {
    Lose("the plug-in worker could not be started: " + SystemErrorText(startError, OwnProgram()));
  }
  CloseHandle(process.hThread);
  process_ = process.hProcess;
  alive_ = true;
}

WorkerProcess::~WorkerProcess() {
  if (alive_) {
    channel_->command = worker::Command::Quit;
    SetEvent(request_);
    if (WaitForSingleObject(process_, QuitWaitMs) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, INFINITE);
    }
  }
  for (HANDLE handle : {process_, output_, request_, reply_}) {
    if (handle != nullptr) CloseHandle(handle);
  }
  if (channel_ != nullptr) UnmapViewOfFile(channel_);
  if (mapping_ != nullptr) CloseHandle(mapping_);
}

void WorkerProcess::DrainOutput() {
  DrainPipe(output_, outputText_);
  // The end is kept: a runtime's report of how the process ends comes last.
  if (outputText_.size() > OutputKept) outputText_.erase(0, outputText_.size() - OutputKept);
}

void WorkerProcess::Lose(const std::string& account, LONG serial) {
  if (alive_) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
    alive_ = false;
  }
  throw WorkerLost(account, CallOf(serial), IndexOf(serial));
}

std::optional<std::size_t> WorkerProcess::IndexOf(LONG serial) const {
  const LONG index = serial - lastFirstSerial_;
  if (serial == 0 || index < 0 || index >= static_cast<LONG>(lastCalls_.size())) return {};
  return static_cast<std::size_t>(index);
}

std::optional<worker::Call> WorkerProcess::CallOf(LONG serial) const {
  const auto index = IndexOf(serial);
  if (!index) return {};
  return lastCalls_[*index];
}

std::string WorkerProcess::DescribeSerial(LONG serial) const {
  const auto call = CallOf(serial);
  if (!call) return {};
  if (call->function == worker::ReloadFunction) return "reloading " + FileName(path_);
  return FormatCall(PluginExportNames[call->function], call->arguments, call->count);
}

std::string WorkerProcess::InProgress() const {
  switch (channel_->activity) {
    case worker::Loading:
      return "loading " + FileName(path_);
    case worker::Unloading:
      return "unloading " + FileName(path_);
    case worker::Calling:
      return DescribeSerial(channel_->clock.serialInCall);
    default:
      return {};
  }
}

std::string WorkerProcess::EndAccount() {
  DWORD exitCode = 0;
  GetExitCodeProcess(process_, &exitCode);
  DrainOutput();
  const std::string current = InProgress();
  const LONG last = channel_->clock.lastSerial;
  const std::string afterLast =
      DescribeSerial(last).empty()
          ? std::string()
          : ", " + std::to_string(GetTickCount() - channel_->clock.lastReturnedAt) + " ms after " +
                DescribeSerial(last) + " returned";
  if (channel_->faulted != 0) {
    const worker::Fault& fault = channel_->fault;
    const std::string what = DescribeException(Facts(fault));
    if (fault.activity == worker::Calling && fault.serial != 0) {
      return DescribeSerial(fault.serial) + " crashed: " + what;
    }
    if (fault.activity == worker::Loading || fault.activity == worker::Unloading) {
      return current + " crashed: " + what;
    }
    if (!current.empty()) {
      return "a thread of the plug-in crashed during " + current +
             " (not the one calling it): " + what;
    }
    return "a thread of the plug-in crashed outside any call" + afterLast + ": " + what;
  }
  const std::string thrown = EscapedCxxException(outputText_);
  const std::string ended =
      (thrown.empty() ? "" : " threw a C++ exception, " + thrown + ", which") +
      std::string(" ended the process (") + DescribeExitCode(exitCode) + ")";
  if (!current.empty()) return current + ended;
  return "the plug-in" + ended + " outside any call" + afterLast;
}

void WorkerProcess::Exchange(worker::Command command) {
  if (!alive_) throw WorkerLost("the plug-in worker has already ended");
  channel_->command = command;
  SetEvent(request_);
  const HANDLE waits[] = {reply_, process_};
  for (;;) {
    // This thread's windows (an owner passed to Configure, a stand-in target) go on answering
    // the plug-in's messages while it waits.
    const DWORD woken = MsgWaitForMultipleObjects(2, waits, FALSE, WatchIntervalMs, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0 + 2) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    DrainOutput();
    if (woken == WAIT_OBJECT_0) return;
    if (woken == WAIT_OBJECT_0 + 1) {
      alive_ = false;
      const LONG serial = channel_->faulted != 0                  ? channel_->fault.serial
                          : channel_->activity == worker::Calling ? channel_->clock.serialInCall
                                                                  : 0;
      throw WorkerLost(EndAccount(), CallOf(serial), IndexOf(serial));
    }
    if (timeoutMs_ == NoLimit) continue;
    // Read twice around the clock: the same activity and call both times, or it moved on.
    const LONG activity = channel_->activity;
    const LONG serial = channel_->clock.serialInCall;
    const DWORD startedAt = channel_->startedAt;
    if (activity == worker::Idle || GetTickCount() - startedAt < timeoutMs_) continue;
    const std::string call = InProgress();
    if (channel_->activity == activity && channel_->clock.serialInCall == serial &&
        channel_->startedAt == startedAt) {
      Lose(call + " did not return within " + SecondsText(timeoutMs_),
           activity == worker::Calling ? serial : 0);
    }
  }
}

bool WorkerProcess::Load(const std::string& path, std::string& error) {
  path_ = path;
  std::snprintf(channel_->path, sizeof channel_->path, "%s", path.c_str());
  Exchange(worker::Command::Load);
  error = channel_->error;
  return channel_->loaded != 0;
}

void WorkerProcess::Unload() {
  Exchange(worker::Command::Unload);
}

std::vector<GuardedResult> WorkerProcess::Calls(const std::vector<worker::Call>& calls,
                                                std::uint32_t stopAt) {
  std::vector<GuardedResult> results;
  // Serials run on across the requests, so any call of `calls` can be named by its own.
  lastCalls_ = calls;
  lastFirstSerial_ = nextSerial_;
  for (std::size_t begin = 0; begin < calls.size(); begin += worker::MaxCalls) {
    const std::size_t count = std::min<std::size_t>(worker::MaxCalls, calls.size() - begin);
    std::copy_n(calls.begin() + static_cast<std::ptrdiff_t>(begin), count, channel_->calls);
    channel_->callCount = static_cast<std::uint32_t>(count);
    channel_->firstSerial = nextSerial_;
    channel_->stopAt = stopAt;
    channel_->callsDone = 0;
    // Taken whether or not the worker survives them: no serial is given out twice.
    nextSerial_ += static_cast<LONG>(count);
    Exchange(worker::Command::Calls);
    const std::uint32_t done = channel_->callsDone;
    nextSerial_ -= static_cast<LONG>(count - done);
    for (std::uint32_t i = 0; i < done; ++i) {
      const std::uint32_t function = calls[begin + i].function;
      const CallProbe& probe = channel_->probes[i];
      results.push_back(
          function == worker::ReloadFunction
              ? GuardedResult{0, {}}
              : GuardedResult{probe.result, CdeclBreach(PluginExportNames[function], probe)});
    }
    if (done < count) break;
  }
  return results;
}

ResourceSample WorkerProcess::Sample() {
  Exchange(worker::Command::Sample);
  return {channel_->handles, channel_->handlesCounted != 0, channel_->privateBytes};
}

std::string WorkerProcess::LoaderException() const {
  if (channel_->loaderRaised == 0) return {};
  return DescribeException(Facts(channel_->loaderException));
}

}  // namespace hostkit
