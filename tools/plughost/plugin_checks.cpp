#include "tools/plughost/plugin_checks.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "tools/hostkit/exception_text.h"
#include "tools/hostkit/window_closer.h"
#include "tools/plughost/handle_key_sweep.h"
#include "tools/strings/hex.h"

namespace plughost {
namespace {

constexpr int AnswerRepeats = 10;
constexpr int ReloadCycles = 100;
constexpr int ReloadWarmUp = 10;
// Growth over the measured cycles that counts as a leak: more than one handle in five loads, or
// 16 KiB a load.
constexpr DWORD HandleGrowthLimit = (ReloadCycles - ReloadWarmUp) / 5;
constexpr ULONGLONG MemoryGrowthLimit = 16ULL * 1024 * (ReloadCycles - ReloadWarmUp);
constexpr std::size_t ConfigureProbeLimit = 64;

// Pointers to zeroed buffers of the worker's.
constexpr std::uint32_t Buffer(std::uint32_t index) {
  return hostkit::worker::ScratchBufferArgument | index;
}

// The first breach of the cdecl contract seen for each export.
class BreachLog {
 public:
  void Note(const char* function, const GuardedResult& result) {
    ++calls_;
    if (!result.breach.empty()) breaches_.emplace(function, result.breach);
  }
  void Report(CheckContext& context, int exports) const {
    for (const auto& [function, breach] : breaches_) context.Fail(breach);
    if (breaches_.empty()) {
      context.Pass(std::to_string(exports) + " exports in " + std::to_string(calls_) +
                   " calls: arguments left to the caller; EBX, ESI, EDI, EBP, the direction "
                   "flag, the x87 stack and control word, MXCSR and the handler chain kept");
    }
  }

 private:
  int calls_ = 0;
  std::map<std::string, std::string> breaches_;
};

std::string Hidden(const std::string& raised) {
  return raised + " (the system's loader hid it)";
}

// Configure on the loaded plug-in: what it returned and which windows it showed.
struct Configured {
  GuardedResult result;
  std::vector<hostkit::ClosedWindow> windows;
};

Configured CallConfigure(PluginSession& plugin, HWND owner) {
  hostkit::WindowCloser closer(plugin.WorkerProcessId());
  GuardedResult result = plugin.dll().Configure(owner);
  return {std::move(result), closer.Stop()};
}

// What `probe` does from a fresh load, with Configure first when `owner` is given. With
// `settleBefore`, only the last call is looked at, after a quiet pause that lets keys the others
// send late come and go.
std::vector<CallOutcome> FromFreshLoad(CheckContext& context,
                                       const std::vector<HandleKeyCall>& probe,
                                       std::optional<HWND> owner, bool settleBefore,
                                       std::optional<Configured>& configured) {
  context.FreshLoad();
  PluginSession& plugin = context.plugin();
  if (owner) configured = CallConfigure(plugin, *owner);
  if (!settleBefore) return Replay(plugin, probe);
  Replay(plugin, {probe.begin(), probe.end() - 1});
  Settle(plugin);
  return Replay(plugin, {probe.back()});
}

}  // namespace

void CheckLoad(CheckContext& context) {
  PluginSession& plugin = context.plugin();
  if (const std::string raised = plugin.LoaderException(); !raised.empty()) {
    return context.Fail("loading raised " + Hidden(raised));
  }
  plugin.Unload();
  if (const std::string raised = plugin.LoaderException(); !raised.empty()) {
    return context.Fail("unloading raised " + Hidden(raised));
  }
  context.Pass("loaded and unloaded, DllMain succeeded, all five exports found");
}

void CheckCallingConvention(CheckContext& context) {
  PluginSession& plugin = context.plugin();
  BreachLog breaches;
  const hostkit::StandInWindow target = context.Target();
  breaches.Note("WhatKeysDoYouWant", plugin.dll().WhatKeysDoYouWant());
  breaches.Note("AreYouInFocus", plugin.dll().AreYouInFocus());
  for (const std::initializer_list<std::uint32_t> arguments :
       {std::initializer_list<std::uint32_t>{},
        {0},
        {Buffer(0), 0},
        {1, Buffer(1), 0x100},
        {0xFFFFFFFF, Buffer(2), Buffer(3), 0}}) {
    breaches.Note("EnumerateProgrammableFunction",
                  plugin.dll().EnumerateProgrammableFunction(arguments));
  }
  for (const HandleKeyCall call : {HandleKeyCall{0, 0, 0}, HandleKeyCall{0, 0xFFFF, 3},
                                   HandleKeyCall{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
                                   HandleKeyCall{0x12345678, 0xFFFF0000, 0x00010000}}) {
    breaches.Note("HandleKey", plugin.dll().HandleKey(call.first, call.keyCode, call.keyState));
  }
  PluginSession::Injected ignored;
  plugin.Collect(ignored);
  breaches.Report(context, 4);
}

void CheckWantedKeys(CheckContext& context) {
  std::vector<std::uint32_t> masks;
  masks.reserve(AnswerRepeats);
  for (int i = 0; i < AnswerRepeats; ++i) {
    masks.push_back(context.plugin().dll().WhatKeysDoYouWant().value);
  }
  const auto other =
      std::find_if(masks.begin(), masks.end(), [&](std::uint32_t m) { return m != masks.front(); });
  if (other == masks.end()) {
    context.Pass(strings::Hex(masks.front(), 8) + " on all " + std::to_string(AnswerRepeats) +
                 " calls");
  } else {
    context.Fail("answers change from call to call: " + strings::Hex(masks.front(), 8) + ", then " +
                 strings::Hex(*other, 8));
  }
}

void CheckProgrammableFunctions(CheckContext& context) {
  PluginSession& plugin = context.plugin();
  std::vector<std::uint32_t> answers;
  bool wrote = false;
  for (int i = 0; i < AnswerRepeats; ++i) {
    answers.push_back(plugin.dll().EnumerateProgrammableFunction({}).value);
    answers.push_back(
        plugin.dll().EnumerateProgrammableFunction({0, Buffer(0), Buffer(1), 0}).value);
    wrote = wrote || plugin.ScratchWritten();
  }
  const std::string writes = wrote ? "; it wrote into the buffers it was given"
                                   : "; nothing written through its arguments";
  if (std::equal(answers.begin() + 1, answers.end(), answers.begin())) {
    context.Pass("EnumerateProgrammableFunction returned " + std::to_string(answers.front()) +
                 " on all " + std::to_string(answers.size()) + " calls" + writes);
  } else {
    context.Fail("EnumerateProgrammableFunction answers change from call to call" + writes);
  }
}

void CheckFocus(CheckContext& context) {
  PluginSession& plugin = context.plugin();
  std::vector<std::uint32_t> with;
  std::vector<std::uint32_t> without;
  {
    const hostkit::StandInWindow target = context.Target();
    for (int i = 0; i < 3; ++i) with.push_back(plugin.dll().AreYouInFocus().value);
  }
  const bool canClose = !context.TargetPresent();
  if (canClose) {
    for (int i = 0; i < 3; ++i) without.push_back(plugin.dll().AreYouInFocus().value);
  }
  std::vector<std::uint32_t> all = with;
  all.insert(all.end(), without.begin(), without.end());
  const auto notAFlag = std::find_if(all.begin(), all.end(), [](std::uint32_t v) { return v > 1; });
  if (notAFlag != all.end()) {
    return context.Fail("returned " + std::to_string(static_cast<std::int32_t>(*notAFlag)) +
                        ": the host expects 0 or 1");
  }
  const auto steady = [](const std::vector<std::uint32_t>& values) {
    return std::equal(values.begin() + 1, values.end(), values.begin());
  };
  const std::string target = "a \"" + context.options().targetClass + "\" window";
  if (!canClose) {
    context.Warn(std::to_string(with.front()) + " with " + target +
                 "; not tried without one, since one is open on this desktop");
  } else if (steady(with) && steady(without) && with.front() == 1 && without.front() == 0) {
    context.Pass("1 with " + target + ", 0 without");
  } else {
    context.Warn(std::to_string(with.front()) + " with " + target + ", " +
                 std::to_string(without.front()) +
                 " without: it does not follow the target's presence (what \"in focus\" means "
                 "is the plug-in's own)");
  }
}

void CheckConfigure(CheckContext& context) {
  // What HandleKey does from a fresh load, before and after Configure: the handled calls of the
  // sweep and a few that were not; calls that crashed or hung were reported where they did.
  const std::vector<HandleKeyCall>& handled = context.HandledWithTarget();
  std::vector<HandleKeyCall> probe(
      handled.begin(),
      handled.begin() + static_cast<std::ptrdiff_t>(std::min(handled.size(), ConfigureProbeLimit)));
  for (std::uint32_t keyCode : {0u, 7u, 28u, 100u}) probe.push_back({0, keyCode, 1});
  std::erase_if(probe, [&](const HandleKeyCall& call) {
    return std::find(context.lostIn.begin(), context.lostIn.end(), call) != context.lostIn.end();
  });
  const hostkit::StandInWindow target = context.Target();
  const hostkit::StandInWindow host("Remote Wonder host stand-in", "PlughostHostWindow");

  std::optional<Configured> configured;
  const std::vector<CallOutcome> before =
      FromFreshLoad(context, probe, std::nullopt, false, configured);
  const std::vector<CallOutcome> after =
      FromFreshLoad(context, probe, host.handle(), false, configured);
  const GuardedResult& result = configured->result;
  const std::vector<hostkit::ClosedWindow>& windows = configured->windows;

  std::string shown = "showed no window";
  if (!windows.empty()) {
    shown = "showed " + std::to_string(windows.size()) +
            (windows.size() == 1 ? " window" : " windows") + " (";
    for (std::size_t i = 0; i < windows.size(); ++i) {
      shown += (i > 0 ? ", " : "") + windows[i].className + " \"" + windows[i].title + "\"";
    }
    shown += "), closed by plughost";
  }
  const std::string evidence =
      "returned " + std::to_string(static_cast<std::int32_t>(result.value)) + "; " + shown;
  std::size_t differs = 0;
  while (differs < before.size() && before[differs] == after[differs]) ++differs;
  if (differs < before.size()) {
    // Confirmed only when the one call differs again once the late keys of the calls before it
    // have settled: those are no effect of Configure's.
    const std::vector<HandleKeyCall> upTo(probe.begin(),
                                          probe.begin() + static_cast<std::ptrdiff_t>(differs) + 1);
    std::optional<Configured> ignored;
    const CallOutcome settledBefore =
        FromFreshLoad(context, upTo, std::nullopt, true, ignored).back();
    const CallOutcome settledAfter =
        FromFreshLoad(context, upTo, host.handle(), true, ignored).back();
    if (settledBefore == settledAfter) differs = before.size();
  }
  if (!result.breach.empty()) {
    context.Fail(result.breach);
  } else if (windows.size() > 1) {
    context.Warn(evidence + ": the host expects at most one");
  } else if (differs < before.size()) {
    context.Warn(evidence + "; afterwards " + Describe(probe[differs]) + " gave " +
                 std::to_string(after[differs].handled) + " " + after[differs].trace +
                 ", from a fresh load " + std::to_string(before[differs].handled) + " " +
                 before[differs].trace);
  } else {
    context.Pass(evidence + "; HandleKey behaves the same after it (" +
                 std::to_string(probe.size()) + " calls compared)");
  }
}

void CheckReload(CheckContext& context) {
  PluginSession& plugin = context.plugin();
  std::string error;
  hostkit::ResourceSample samples[2] = {};
  for (int cycle = 1; cycle <= ReloadCycles; ++cycle) {
    plugin.Unload();
    if (const std::string raised = plugin.LoaderException(); !raised.empty()) {
      return context.Fail("unload " + std::to_string(cycle) + " raised " + Hidden(raised));
    }
    if (!plugin.Load(error)) {
      return context.Fail("load " + std::to_string(cycle) + " failed: " + error);
    }
    if (const std::string raised = plugin.LoaderException(); !raised.empty()) {
      return context.Fail("load " + std::to_string(cycle) + " raised " + Hidden(raised));
    }
    if (cycle == ReloadWarmUp) samples[0] = plugin.SampleResources();
    if (cycle == ReloadCycles) samples[1] = plugin.SampleResources();
  }
  char evidence[192];
  std::snprintf(evidence, sizeof evidence,
                "%d unloads and loads: %s %lu -> %lu, private memory %.2f -> %.2f MiB (after "
                "load %d and %d)",
                ReloadCycles, samples[0].handlesCounted ? "handles" : "highest handle index",
                static_cast<unsigned long>(samples[0].handles),
                static_cast<unsigned long>(samples[1].handles),
                static_cast<double>(samples[0].privateBytes) / 1048576.0,
                static_cast<double>(samples[1].privateBytes) / 1048576.0, ReloadWarmUp,
                ReloadCycles);
  const bool leaks = samples[1].handles > samples[0].handles + HandleGrowthLimit ||
                     samples[1].privateBytes > samples[0].privateBytes + MemoryGrowthLimit;
  context.Report(leaks ? Verdict::Warn : Verdict::Pass,
                 std::string(evidence) + (leaks ? ": they keep growing" : ""));
}

}  // namespace plughost
