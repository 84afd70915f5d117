#include "tools/plughost/handle_key_sweep.h"

#include <algorithm>
#include <optional>

namespace plughost {
namespace {

// Calls that return 0 are made by the worker in runs of this many, and synced with the hook once
// a run: one sync per call would make the sweep take minutes. A call that returns non-zero or
// breaks the convention ends a run; the calls of a run that sent anything are made again one by
// one to name the one that did.
constexpr std::size_t BatchSize = hostkit::worker::MaxCalls;
constexpr std::uint32_t SpreadCodes = 512;
// Calls whose keys did not come again when made once more: past this many, keys that look wrong
// are taken as late without trying each call again.
constexpr int UnconfirmedLimit = 8;

// The first instance of each problem, so that a plug-in wrong everywhere still gets few lines.
struct Problems {
  std::optional<std::string> breach, badResult, leftDown, sentWhileUnhandled;
};

class Sweep {
 public:
  explicit Sweep(CheckContext& context) : context_(context), plugin_(context.plugin()) {}

  void Run(const std::vector<HandleKeyCall>& calls) {
    for (std::size_t begin = 0; begin < calls.size();) {
      const std::size_t end = std::min(begin + BatchSize, calls.size());
      const std::vector<HandleKeyCall> batch(calls.begin() + static_cast<std::ptrdiff_t>(begin),
                                             calls.begin() + static_cast<std::ptrdiff_t>(end));
      // Each breach ends a run until the first is noted: only the first is reported.
      using hostkit::worker::StopAt::Breach;
      using hostkit::worker::StopAt::Handled;
      const std::vector<GuardedResult> results =
          plugin_.HandleKeys(batch, problems_.breach ? Handled : Handled | Breach);
      for (std::size_t i = 0; i < results.size(); ++i) Note(batch[i], results[i]);
      if (!Collect()) return;
      // Everything before the last call returned 0; the last may not have.
      const bool sent = !injected_.events.empty() || !injected_.leftDown.empty();
      if (sent && results.size() > 1) {
        ReplayBatch();
      } else {
        Judge(batch[results.size() - 1], results.back().value);
      }
      begin += results.size();
    }
  }

  void Report(std::size_t callCount) {
    bool any = false;
    for (const auto* problem : {&problems_.breach, &problems_.badResult, &problems_.leftDown}) {
      if (*problem) context_.Fail(**problem), any = true;
    }
    if (problems_.sentWhileUnhandled) {
      context_.Warn(*problems_.sentWhileUnhandled);
      any = true;
    }
    if (!any) {
      context_.Pass(std::to_string(callCount) + " calls, " + std::to_string(handled_.size()) +
                    " handled: results 0 or 1, no key left down, nothing sent unhandled");
    }
  }

  [[nodiscard]] const std::vector<HandleKeyCall>& handled() const { return handled_; }

 private:
  void Note(const HandleKeyCall& call, const GuardedResult& result) {
    if (result.value != 0) handled_.push_back(call);
    if (result.value > 1 && !problems_.badResult) {
      problems_.badResult = HandleKeyBreach(Describe(call), result.value, {});
    }
    if (!result.breach.empty() && !problems_.breach) {
      problems_.breach = Describe(call) + ": " + result.breach;
    }
  }

  bool Collect() {
    if (plugin_.Collect(injected_)) return true;
    if (!problems_.breach) problems_.breach = std::string(NoHookMessage);
    return false;
  }

  // The keys in `injected_` came while `call` ran, alone since the last sync.
  [[nodiscard]] bool LooksWrong(std::uint32_t handled) const {
    return (!injected_.leftDown.empty() && !problems_.leftDown) ||
           (handled == 0 && !injected_.events.empty() && !problems_.sentWhileUnhandled);
  }

  // What `call`, alone since the last sync, did with the keys in `injected_`. Keys that look
  // wrong count only when the call, made again after a quiet pause, sends them again: they may
  // have come from another thread of the plug-in while it ran.
  void Judge(const HandleKeyCall& call, std::uint32_t handled) {
    if (handled > 1 && !problems_.badResult) {
      problems_.badResult = HandleKeyBreach(Describe(call), handled, {});
    }
    if (!LooksWrong(handled)) return;
    const PluginSession::Injected seen = injected_;
    if (unconfirmed_ < UnconfirmedLimit) {
      Settle(plugin_);
      handled = plugin_.HandleKeys({call}).at(0).value;
      if (!Collect()) return;
      if (LooksWrong(handled)) {
        if (!injected_.leftDown.empty() && !problems_.leftDown) {
          problems_.leftDown = HandleKeyBreach(Describe(call), 0, injected_.leftDown);
        }
        if (handled == 0 && !injected_.events.empty() && !problems_.sentWhileUnhandled) {
          problems_.sentWhileUnhandled = Describe(call) + " returned 0 yet sent " +
                                         keytrace::FormatTrace(injected_.events) +
                                         " (the host takes 0 for \"not acted on\")";
        }
        return;
      }
      ++unconfirmed_;
    }
    NoteLate(seen);
  }

  // Keys that came while calls ran but not from them: a thread of the plug-in's, say.
  void NoteLate(const PluginSession::Injected& seen) {
    PluginSession::LateKeys late;
    late.events = seen.events;
    late.arrivedAt = seen.firstEventAt;
    late.duringOtherCall = true;
    plugin_.NoteLateKeys(late);
  }

  // The calls of a run that sent keys, each made again on its own: the hook saw which calls
  // were running as the keys came.
  void ReplayBatch() {
    const PluginSession::Injected original = injected_;
    bool reproduced = false;
    for (const HandleKeyCall& call : original.during) {
      const GuardedResult result = plugin_.HandleKeys({call}).at(0);
      if (!Collect()) return;
      reproduced = reproduced || !injected_.events.empty();
      Judge(call, result.value);
    }
    if (!reproduced && !original.events.empty()) NoteLate(original);
  }

  CheckContext& context_;
  PluginSession& plugin_;
  PluginSession::Injected injected_;
  Problems problems_;
  std::vector<HandleKeyCall> handled_;
  int unconfirmed_ = 0;
};

}  // namespace

void Settle(PluginSession& plugin) {
  Sleep(SettleMs);
  PluginSession::Injected ignored;
  plugin.Collect(ignored);
}

std::vector<HandleKeyCall> SweepCalls() {
  std::vector<HandleKeyCall> calls;
  for (const std::uint32_t keyState : {1u, 2u}) {
    for (std::uint32_t keyCode = 0; keyCode <= 0xFFFF; ++keyCode)
      calls.push_back({0, keyCode, keyState});
  }
  // States between and around them, bits 8 to 15 included.
  for (const std::uint32_t keyState : {0u, 3u, 0x100u, 0x101u, 0x102u, 0x7FFFu, 0x8000u, 0xFFFFu}) {
    for (std::uint32_t keyCode = 0; keyCode < SpreadCodes; ++keyCode)
      calls.push_back({0, keyCode, keyState});
  }
  // Upper halves, which the host may fill with anything, and other first arguments.
  for (const std::uint32_t upper : {0x0001'0000u, 0xFFFF'0000u}) {
    for (const std::uint32_t keyState : {1u, 2u}) {
      for (std::uint32_t keyCode = 0; keyCode < SpreadCodes; ++keyCode) {
        calls.push_back({0, upper | keyCode, keyState});
        calls.push_back({0, keyCode, upper | keyState});
      }
    }
  }
  for (const std::uint32_t first : {1u, 0xFFFF'FFFFu, 0x1234'5678u}) {
    for (std::uint32_t keyCode = 0; keyCode < 64; ++keyCode) calls.push_back({first, keyCode, 1});
  }
  return calls;
}

std::vector<HandleKeyCall> SweepHandleKey(CheckContext& context,
                                          const std::vector<HandleKeyCall>& calls) {
  Sweep sweep(context);
  sweep.Run(calls);
  sweep.Report(calls.size());
  return sweep.handled();
}

void CheckHandleKeyWithTarget(CheckContext& context) {
  const hostkit::StandInWindow target = context.Target();
  context.SetHandledWithTarget(SweepHandleKey(context, SweepCalls()));
}

void CheckHandleKeyWithoutTarget(CheckContext& context) {
  if (context.TargetPresent()) {
    context.Warn("not run: a window of class \"" + context.options().targetClass +
                 "\" is open on this desktop (close it to run this check)");
    return;
  }
  SweepHandleKey(context, SweepCalls());
}

std::vector<CallOutcome> Replay(PluginSession& plugin, const std::vector<HandleKeyCall>& calls) {
  std::vector<CallOutcome> outcomes;
  PluginSession::Injected injected;
  for (const HandleKeyCall& call : calls) {
    const GuardedResult result = plugin.HandleKeys({call}).at(0);
    plugin.Collect(injected);
    outcomes.push_back({result.value, keytrace::FormatTrace(injected.events)});
  }
  return outcomes;
}

}  // namespace plughost
