#include "tools/plughost/handle_key_sweep.h"

#include <optional>

#include "tools/hostkit/call_guard.h"

namespace plughost {
namespace {

// Calls that return 0 are synced with the hook in batches of this many: one sync per call would
// make the sweep take minutes. A batch that sent anything is replayed call by call to name it.
constexpr std::size_t BatchSize = 4096;
constexpr std::uint32_t SpreadCodes = 512;

// The first instance of each problem, so that a plug-in wrong everywhere still gets few lines.
struct Problems {
  std::optional<std::string> breach, badResult, leftDown, sentWhileUnhandled;
};

class Sweep {
 public:
  Sweep(PluginSession& plugin, CheckReport& report) : plugin_(plugin), report_(report) {}

  void Run(const std::vector<HandleKeyCall>& calls) {
    std::size_t batchStart = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      const GuardedResult result = Call(calls[i]);
      if (result.value != 0) handled_.push_back(calls[i]);
      if (result.value == 0 && i + 1 - batchStart < BatchSize && i + 1 < calls.size()) continue;
      // Everything before this call returned 0; this one may not have.
      if (!Collect()) return;
      const bool sent = !injected_.events.empty() || !injected_.leftDown.empty();
      if (sent && i > batchStart) {
        ReplayBatch(calls, batchStart, i + 1);
      } else {
        Judge(calls[i], result.value);
      }
      batchStart = i + 1;
    }
  }

  void ReportUnder(const std::string& check, std::size_t callCount) {
    bool any = false;
    for (const auto* problem : {&problems_.breach, &problems_.badResult, &problems_.leftDown}) {
      if (*problem) report_.Line(Verdict::Fail, check, **problem), any = true;
    }
    if (problems_.sentWhileUnhandled) {
      report_.Line(Verdict::Warn, check, *problems_.sentWhileUnhandled);
      any = true;
    }
    if (!any) {
      report_.Line(Verdict::Pass, check,
                   std::to_string(callCount) + " calls, " + std::to_string(handled_.size()) +
                       " handled: results 0 or 1, no key left down, nothing sent unhandled");
    }
  }

  [[nodiscard]] const std::vector<HandleKeyCall>& handled() const { return handled_; }

 private:
  GuardedResult Call(const HandleKeyCall& call) {
    GuardedResult result = plugin_.dll().HandleKey(call.first, call.keyCode, call.keyState);
    if (!result.breach.empty() && !problems_.breach) {
      problems_.breach = Describe(call) + ": " + result.breach;
    }
    return result;
  }

  bool Collect() {
    if (plugin_.Collect(injected_)) return true;
    problems_.breach = std::string(NoHookMessage);
    return false;
  }

  // What `call`, alone since the last sync, did with the keys in `injected_`.
  void Judge(const HandleKeyCall& call, std::uint32_t handled) {
    if (handled > 1 && !problems_.badResult) {
      problems_.badResult = HandleKeyBreach(Describe(call), handled, {});
    }
    if (!injected_.leftDown.empty() && !problems_.leftDown) {
      problems_.leftDown = HandleKeyBreach(Describe(call), 0, injected_.leftDown);
    }
    if (handled == 0 && !injected_.events.empty() && !problems_.sentWhileUnhandled) {
      problems_.sentWhileUnhandled = Describe(call) + " returned 0 yet sent " +
                                     keytrace::FormatTrace(injected_.events) +
                                     " (the host takes 0 for \"not acted on\")";
    }
  }

  void ReplayBatch(const std::vector<HandleKeyCall>& calls, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      const GuardedResult result = Call(calls[i]);
      if (!Collect()) return;
      Judge(calls[i], result.value);
    }
  }

  PluginSession& plugin_;
  CheckReport& report_;
  PluginSession::Injected injected_;
  Problems problems_;
  std::vector<HandleKeyCall> handled_;
};

}  // namespace

std::string Describe(const HandleKeyCall& call) {
  return hostkit::DescribeCall("HandleKey", {call.first, call.keyCode, call.keyState});
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

std::vector<HandleKeyCall> SweepHandleKey(PluginSession& plugin,
                                          const std::vector<HandleKeyCall>& calls,
                                          const std::string& check, CheckReport& report) {
  Sweep sweep(plugin, report);
  sweep.Run(calls);
  sweep.ReportUnder(check, calls.size());
  return sweep.handled();
}

std::vector<CallOutcome> Replay(PluginSession& plugin, const std::vector<HandleKeyCall>& calls) {
  std::vector<CallOutcome> outcomes;
  PluginSession::Injected injected;
  for (const HandleKeyCall& call : calls) {
    const GuardedResult result = plugin.dll().HandleKey(call.first, call.keyCode, call.keyState);
    plugin.Collect(injected);
    outcomes.push_back({result.value, keytrace::FormatTrace(injected.events)});
  }
  return outcomes;
}

}  // namespace plughost
