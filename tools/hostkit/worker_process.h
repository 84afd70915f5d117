#pragma once

// The supervisor's side of a plug-in worker: a process of this very program started in worker
// mode, which alone loads the plug-in. Every request waits for the worker's reply, for its end,
// or for the time limit of the call in progress, whichever comes first; the worker's output is
// kept, never shown, so no runtime's report reaches the user.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/hostkit/guarded_result.h"
#include "tools/hostkit/worker_channel.h"

namespace hostkit {

// The worker crashed, hung or ended: what() is the one-line account, naming the call in
// progress ("HandleKey(0, 5, 1) ended the process (exit code 3)"). The worker is gone.
class WorkerLost : public std::runtime_error {
 public:
  explicit WorkerLost(const std::string& account, std::optional<worker::Call> call = std::nullopt,
                      std::optional<std::size_t> index = std::nullopt)
      : std::runtime_error(account), call(call), index(index) {}
  std::optional<worker::Call> call;  // the export call in progress, if it was one
  std::optional<std::size_t> index;  // and its place among the calls of the request
};

struct ResourceSample {
  DWORD handles;
  bool handlesCounted;
  ULONGLONG privateBytes;
};

class WorkerProcess {
 public:
  static constexpr DWORD NoLimit = INFINITE;

  // Starts the worker; throws WorkerLost when it cannot be started. Calls are numbered from
  // `firstSerial` on, so that numbers stay unique across the workers of one session.
  WorkerProcess(DWORD timeoutMs, LONG firstSerial);
  ~WorkerProcess();
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  // False, with the reason, when the plug-in does not load.
  bool Load(const std::string& path, std::string& error);
  void Unload();

  // Makes the calls in order, up to the first that `stopAt` names. One result per call made.
  std::vector<GuardedResult> Calls(const std::vector<worker::Call>& calls,
                                   std::uint32_t stopAt = worker::StopAt::Never);
  ResourceSample Sample();
  // Whether a call of the last request wrote into a scratch buffer it was given.
  [[nodiscard]] bool ScratchWritten() const { return channel_->scratchWritten != 0; }

  // An exception raised while the plug-in was last loaded or unloaded, in words; empty when
  // none was.
  [[nodiscard]] std::string LoaderException() const;

  // Which call runs now and which returned last: for telling which call a key came in.
  [[nodiscard]] const CallClock* clock() const { return &channel_->clock; }
  [[nodiscard]] LONG nextSerial() const { return nextSerial_; }
  [[nodiscard]] DWORD processId() const { return GetProcessId(process_); }
  // A call of the last request, by its serial, and its place in the request; nothing for any
  // other.
  [[nodiscard]] std::optional<worker::Call> CallOf(LONG serial) const;
  [[nodiscard]] std::optional<std::size_t> IndexOf(LONG serial) const;
  // "HandleKey(0, 7, 1)" for a call of the last request; empty for any other serial.
  [[nodiscard]] std::string DescribeSerial(LONG serial) const;

 private:
  void Exchange(worker::Command command);
  [[noreturn]] void Lose(const std::string& account, LONG serial = 0);
  [[nodiscard]] std::string InProgress() const;
  std::string EndAccount();
  void DrainOutput();

  const DWORD timeoutMs_;
  LONG nextSerial_;
  std::string path_;
  HANDLE mapping_ = nullptr;
  worker::Channel* channel_ = nullptr;
  HANDLE request_ = nullptr;
  HANDLE reply_ = nullptr;
  HANDLE process_ = nullptr;
  HANDLE output_ = nullptr;
  std::string outputText_;
  bool alive_ = false;
  // What calls the last request made, to name any serial among them.
  std::vector<worker::Call> lastCalls_;
  LONG lastFirstSerial_ = 0;
};

}  // namespace hostkit
