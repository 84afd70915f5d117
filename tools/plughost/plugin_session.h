#pragma once

// A plug-in as one plughost command drives it: loaded and called only in a worker process that
// this one supervises, every key it injects seen by this process's keyboard hook, and every key
// it leaves down released, so that nothing the plug-in does can crash or hang plughost or leave
// a key held on the desktop.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tools/hostkit/exception_text.h"
#include "tools/hostkit/guarded_exports.h"
#include "tools/hostkit/keyboard_capture.h"
#include "tools/hostkit/worker_process.h"
#include "tools/keytrace/key_trace.h"
#include "tools/plughost/call_text.h"

namespace plughost {

using hostkit::FileName;
using hostkit::GuardedResult;

// The plug-in's worker crashed, hung or ended: what() is the one-line account. The keys it left
// down have been released.
class PluginLost : public std::runtime_error {
 public:
  PluginLost(const std::string& account, std::vector<std::uint8_t> released,
             std::optional<HandleKeyCall> call = std::nullopt,
             std::optional<std::size_t> index = std::nullopt)
      : std::runtime_error(account), released(std::move(released)), call(call), index(index) {}
  std::vector<std::uint8_t> released;
  std::optional<HandleKeyCall> call;  // the HandleKey call in progress, if it was one
  // Its place among the calls asked for; for PlayFromFreshLoads, within its series, which is
  // `series`.
  std::optional<std::size_t> index;
  std::optional<std::size_t> series;
};

class PluginSession {
 public:
  // `path` is made full, so that the worker loads this very file and not one on its search path.
  PluginSession(const std::string& path, std::uint32_t timeoutMs,
                hostkit::KeyboardCapture::Delivery delivery);
  ~PluginSession();
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // Every call below throws PluginLost when the worker is lost; the next Load starts another.

  // False, with `error`, when the hook is missing or the DLL cannot be loaded. Loads afresh in
  // the running worker, or in a new one when there is none.
  bool Load(std::string& error);
  void Unload();
  // Ends the worker, so that the next Load starts a fresh process; forgets its handled calls.
  void EndWorker();
  [[nodiscard]] const std::string& path() const { return path_; }
  // The worker's process, starting one if none runs: where the plug-in's windows appear.
  DWORD WorkerProcessId() { return Worker().processId(); }

  // The exports of the loaded plug-in, every call made by the worker.
  hostkit::GuardedExports dll();
  // HandleKey for each of `calls` in one go, up to the first that `stopAt` (StopAt bits) names.
  std::vector<GuardedResult> HandleKeys(const std::vector<HandleKeyCall>& calls,
                                        std::uint32_t stopAt = hostkit::worker::StopAt::Never);
  // Each series played from a fresh load of the DLL in the running worker, all in one request,
  // with the keys each call sent. Throws PluginLost, too, when a load fails.
  struct Played {
    std::vector<GuardedResult> results;                 // one per call
    std::vector<std::vector<keytrace::KeyEvent>> keys;  // one per call
  };
  std::vector<Played> PlayFromFreshLoads(const std::vector<std::vector<HandleKeyCall>>& series);
  // An exception raised while the plug-in was last loaded or unloaded; empty when none was.
  [[nodiscard]] std::string LoaderException() const;
  hostkit::ResourceSample SampleResources();
  // Whether the last call wrote through a pointer to a scratch buffer it was given
  // (hostkit::worker::ScratchBufferArgument).
  [[nodiscard]] bool ScratchWritten() const { return worker_ && worker_->ScratchWritten(); }

  // A HandleKey call that returned non-zero, and when it did (GetTickCount()).
  struct Returned {
    HandleKeyCall call;
    DWORD at;
  };
  // Keys that came while no call was running.
  struct LateKeys {
    std::vector<keytrace::KeyEvent> events;
    std::string lastCall;  // the call that had returned last before the first of them
    DWORD msAfterReturn = 0;
    DWORD arrivedAt = 0;  // GetTickCount() when the first came
    // They came while a call ran, yet that call did not send them again when made once more.
    bool duringOtherCall = false;
    // The handled calls that had returned before they came, most recent first: where to look
    // for their cause.
    std::vector<Returned> handledBefore;
  };
  struct Injected {
    std::vector<keytrace::KeyEvent> events;  // in order, since the last Collect, during calls
    std::vector<std::uint8_t> leftDown;      // pressed and not released: released by Collect
    DWORD firstEventAt = 0;                  // GetTickCount() when the first of `events` came
    // The HandleKey calls of the last request during which `events` came, each once, in order;
    // and for each event, the place in that request of the call it came in.
    std::vector<HandleKeyCall> during;
    std::vector<std::size_t> callIndex;
    LateKeys late;
  };
  // False when the hook never caught up.
  bool Collect(Injected& injected);

  // The first keys that came while no call was running since the last time this was asked.
  std::optional<LateKeys> TakeLateKeys() { return std::exchange(firstLate_, std::nullopt); }
  // Keys found late by other means: kept when they are the first.
  void NoteLateKeys(const LateKeys& late);

 private:
  hostkit::WorkerProcess& Worker();
  [[noreturn]] void Lost(const hostkit::WorkerLost& lost);
  // Syncs, takes in what was injected, and releases every key still down.
  bool CollectAndRelease(Injected& injected, DWORD syncTimeoutMs);

  const std::string path_;
  const std::uint32_t timeoutMs_;
  hostkit::KeyboardCapture capture_;
  keytrace::HeldKeys held_;
  void NoteHandled(const HandleKeyCall& call);

  std::unique_ptr<hostkit::WorkerProcess> worker_;
  LONG nextSerial_ = 1;
  std::optional<LateKeys> firstLate_;
  std::vector<Returned> recentlyHandled_;
};

// "the low-level keyboard hook could not be installed ...": for every command that needs it.
extern const char* const NoHookMessage;

}  // namespace plughost
