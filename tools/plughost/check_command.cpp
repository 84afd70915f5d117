// plughost check: does a plug-in keep the host's contract? One PASS, WARN or FAIL line per
// check, with its evidence. Every check runs against a fresh load in a fresh worker process, so
// a plug-in that crashes, hangs or ends its process fails that check and the others still run.
// Every keystroke is swallowed, so nothing types into the user's windows.

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "tools/hostkit/exception_text.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/window_closer.h"
#include "tools/plughost/check_file.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/handle_key_sweep.h"
#include "tools/plughost/plugin_session.h"

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
// How long keys may come after a call that sent them late, beyond the delay first seen, and the
// longest wait for them; and how many calls are tried as their cause.
constexpr DWORD LateMarginMs = 500;
constexpr DWORD LateWaitLimitMs = 5000;
constexpr std::size_t LateSuspects = 4;
constexpr DWORD LateQuietMs = 300;
constexpr DWORD LatePollMs = 50;

// The first breach of the cdecl contract seen for each export.
class BreachLog {
 public:
  void Note(const char* function, const GuardedResult& result) {
    ++calls_;
    if (!result.breach.empty()) breaches_.emplace(function, result.breach);
  }
  void ReportUnder(CheckReport& report, int exports) const {
    for (const auto& [function, breach] : breaches_) report.Line(Verdict::Fail, "cdecl", breach);
    if (breaches_.empty()) {
      report.Line(Verdict::Pass, "cdecl",
                  std::to_string(exports) + " exports in " + std::to_string(calls_) +
                      " calls: arguments left to the caller; EBX, ESI, EDI, EBP, the direction "
                      "flag, the x87 stack and control word, MXCSR and the handler chain kept");
    }
  }

 private:
  int calls_ = 0;
  std::map<std::string, std::string> breaches_;
};

class Checker {
 public:
  Checker(const Session& session, CheckReport& report)
      : session_(session),
        report_(report),
        plugin_(session.dllPath, session.timeoutMs, hostkit::KeyboardCapture::Delivery::Swallow) {}

  int Run() {
    if (CheckFile(plugin_.path(), report_)) {
      struct Step {
        const char* name;
        void (Checker::*run)();
      };
      static constexpr Step Steps[] = {
          {"load", &Checker::CheckLoad},
          {"cdecl", &Checker::CheckCallingConvention},
          {"WhatKeysDoYouWant", &Checker::CheckAnswers},
          {"HandleKey, target open", &Checker::CheckHandleKeyWithTarget},
          {"HandleKey, no target", &Checker::CheckHandleKeyWithoutTarget},
          {"AreYouInFocus", &Checker::CheckFocus},
          {"Configure", &Checker::CheckConfigure},
          {"reload", &Checker::CheckReload},
      };
      for (const Step& step : Steps) {
        if (!RunStep(step.name, step.run)) break;
      }
    }
    return report_.Finish(FileName(plugin_.path()));
  }

 private:
  // Runs one check in a fresh worker; false when the plug-in cannot be loaded at all, so that
  // no other check can run.
  bool RunStep(const char* name, void (Checker::*run)()) {
    report_.Begin(name);
    plugin_.EndWorker();
    bool loaded = false;
    try {
      std::string error;
      if (!plugin_.Load(error)) {
        report_.Line(Verdict::Fail, name, WithLoaderException(error));
        return false;
      }
      loaded = true;
      (this->*run)();
      ReportLateKeys();
    } catch (const PluginLost& lost) {
      std::string evidence = lost.what();
      if (!lost.released.empty()) {
        evidence += "; it left " + keytrace::KeyList(lost.released) + " down (plughost released " +
                    (lost.released.size() == 1 ? "it" : "them") + ")";
      }
      report_.Line(Verdict::Fail, report_.current(), evidence);
      if (lost.call) lostIn_.push_back(*lost.call);
      plugin_.TakeLateKeys();
      // A plug-in lost while it loads cannot be checked any further.
      if (!loaded) return false;
    }
    return true;
  }

  std::string WithLoaderException(const std::string& error) {
    const std::string raised = plugin_.LoaderException();
    return raised.empty() ? error : error + "; while loading it raised " + raised;
  }

  [[nodiscard]] bool TargetPresent() const {
    return FindWindowA(session_.targetClass.c_str(), nullptr) != nullptr;
  }

  [[nodiscard]] hostkit::StandInWindow Target() const {
    return hostkit::StandInWindow(hostkit::StandInTitle, session_.targetClass.c_str());
  }

  // Keys that came while no call was running: a WARN, a FAIL when one was left down, with the
  // call that sends them found by trying the calls handled before they came one by one, each
  // from a fresh load and followed by a quiet wait. A call is named only once seen to send them;
  // reported once.
  void ReportLateKeys() {
    const auto late = plugin_.TakeLateKeys();
    if (!late || lateReported_) return;
    lateReported_ = true;
    const std::string check = report_.current();
    std::size_t tried = 0;
    for (const PluginSession::Returned& suspect : late->handledBefore) {
      if (++tried > LateSuspects) break;
      const DWORD wait =
          std::min<DWORD>(late->arrivedAt - suspect.at + LateMarginMs, LateWaitLimitMs);
      if (const auto found = SendsLate(suspect.call, wait)) {
        report_.Line(LateVerdict(found->events), check,
                     keytrace::FormatTrace(found->events) + " came " +
                         std::to_string(found->msAfterReturn) + " ms after " +
                         Describe(suspect.call) + " returned, outside any call" +
                         LeftDownNote(found->events));
        return;
      }
    }
    std::string when = late->duringOtherCall
                           ? " came while other calls ran, and none sent them again when made "
                             "once more"
                           : " came while no call was running";
    if (!late->duringOtherCall && !late->lastCall.empty()) {
      when +=
          " (" + std::to_string(late->msAfterReturn) + " ms after " + late->lastCall + " returned)";
    }
    report_.Line(LateVerdict(late->events), check,
                 keytrace::FormatTrace(late->events) + when +
                     "; no single call was found to send them" + LeftDownNote(late->events));
  }

  static std::vector<std::uint8_t> HeldAfter(const std::vector<keytrace::KeyEvent>& events) {
    keytrace::HeldKeys held;
    held.Apply(events);
    return held.Down();
  }
  static Verdict LateVerdict(const std::vector<keytrace::KeyEvent>& events) {
    return HeldAfter(events).empty() ? Verdict::Warn : Verdict::Fail;
  }
  static std::string LeftDownNote(const std::vector<keytrace::KeyEvent>& events) {
    const std::vector<std::uint8_t> held = HeldAfter(events);
    if (held.empty()) return {};
    return "; they left " + keytrace::KeyList(held) + " down (plughost released " +
           (held.size() == 1 ? "it" : "them") + ")";
  }

  // The keys `call` sends after it returns, made alone from a fresh load with the target open:
  // all that come until a quiet pause, once the first has come within `waitMs`.
  std::optional<PluginSession::LateKeys> SendsLate(const HandleKeyCall& call, DWORD waitMs) {
    const hostkit::StandInWindow target = Target();
    plugin_.EndWorker();
    std::string error;
    if (!plugin_.Load(error)) return std::nullopt;
    plugin_.HandleKeys({call});
    PluginSession::Injected injected;
    plugin_.Collect(injected);
    std::optional<PluginSession::LateKeys> found;
    DWORD lastNews = GetTickCount();
    for (;;) {
      const DWORD now = GetTickCount();
      if (found ? now - lastNews >= LateQuietMs : now - lastNews >= waitMs) break;
      Sleep(LatePollMs);
      plugin_.Collect(injected);
      if (injected.late.events.empty()) continue;
      lastNews = GetTickCount();
      if (!found) {
        found = injected.late;
      } else {
        found->events.insert(found->events.end(), injected.late.events.begin(),
                             injected.late.events.end());
      }
    }
    plugin_.TakeLateKeys();
    plugin_.EndWorker();
    return found;
  }

  void CheckLoad() {
    const std::string raised = plugin_.LoaderException();
    if (!raised.empty()) {
      report_.Line(Verdict::Fail, "load",
                   "loading raised " + raised + " (the system's loader hid it)");
      return;
    }
    plugin_.Unload();
    const std::string unloadRaised = plugin_.LoaderException();
    if (!unloadRaised.empty()) {
      report_.Line(Verdict::Fail, "load",
                   "unloading raised " + unloadRaised + " (the system's loader hid it)");
      return;
    }
    report_.Line(Verdict::Pass, "load",
                 "loaded and unloaded, DllMain succeeded, all five exports found");
  }

  void CheckCallingConvention() {
    BreachLog breaches;
    const hostkit::StandInWindow target = Target();
    breaches.Note("WhatKeysDoYouWant", plugin_.dll().WhatKeysDoYouWant());
    breaches.Note("AreYouInFocus", plugin_.dll().AreYouInFocus());
    for (const std::initializer_list<std::uint32_t> arguments :
         {std::initializer_list<std::uint32_t>{},
          {0},
          {Buffer(0), 0},
          {1, Buffer(1), 0x100},
          {0xFFFFFFFF, Buffer(2), Buffer(3), 0}}) {
      breaches.Note("EnumerateProgrammableFunction",
                    plugin_.dll().EnumerateProgrammableFunction(arguments));
    }
    for (const HandleKeyCall call : {HandleKeyCall{0, 0, 0}, HandleKeyCall{0, 0xFFFF, 3},
                                     HandleKeyCall{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
                                     HandleKeyCall{0x12345678, 0xFFFF0000, 0x00010000}}) {
      breaches.Note("HandleKey", plugin_.dll().HandleKey(call.first, call.keyCode, call.keyState));
    }
    PluginSession::Injected ignored;
    plugin_.Collect(ignored);
    breaches.ReportUnder(report_, 4);
  }

  void CheckAnswers() {
    std::vector<std::uint32_t> masks;
    masks.reserve(AnswerRepeats);
    for (int i = 0; i < AnswerRepeats; ++i)
      masks.push_back(plugin_.dll().WhatKeysDoYouWant().value);
    if (std::equal(masks.begin() + 1, masks.end(), masks.begin())) {
      report_.Line(
          Verdict::Pass, "WhatKeysDoYouWant",
          hostkit::Hex(masks.front()) + " on all " + std::to_string(AnswerRepeats) + " calls");
    } else {
      report_.Line(Verdict::Fail, "WhatKeysDoYouWant",
                   "answers change from call to call: " + hostkit::Hex(masks.front()) + ", then " +
                       hostkit::Hex(*std::find_if(masks.begin(), masks.end(), [&](std::uint32_t m) {
                         return m != masks.front();
                       })));
    }

    report_.Begin("programmable functions");
    std::vector<std::uint32_t> answers;
    bool wrote = false;
    for (int i = 0; i < AnswerRepeats; ++i) {
      answers.push_back(plugin_.dll().EnumerateProgrammableFunction({}).value);
      answers.push_back(
          plugin_.dll().EnumerateProgrammableFunction({0, Buffer(0), Buffer(1), 0}).value);
      wrote = wrote || plugin_.ScratchWritten();
    }
    const std::string writes = wrote ? "; it wrote into the buffers it was given"
                                     : "; nothing written through its arguments";
    if (std::equal(answers.begin() + 1, answers.end(), answers.begin())) {
      report_.Line(Verdict::Pass, "programmable functions",
                   "EnumerateProgrammableFunction returned " + std::to_string(answers.front()) +
                       " on all " + std::to_string(answers.size()) + " calls" + writes);
    } else {
      report_.Line(Verdict::Fail, "programmable functions",
                   "EnumerateProgrammableFunction answers change from call to call" + writes);
    }
  }

  void CheckHandleKeyWithTarget() {
    const hostkit::StandInWindow target = Target();
    handled_ = SweepHandleKey(plugin_, SweepCalls(), report_.current(), report_);
  }

  void CheckHandleKeyWithoutTarget() {
    const std::string check = report_.current();
    if (TargetPresent()) {
      report_.Line(Verdict::Warn, check,
                   "not run: a window of class \"" + session_.targetClass +
                       "\" is open on this desktop (close it to run this check)");
      return;
    }
    SweepHandleKey(plugin_, SweepCalls(), check, report_);
  }

  void CheckFocus() {
    std::vector<std::uint32_t> with;
    std::vector<std::uint32_t> without;
    {
      const hostkit::StandInWindow target = Target();
      for (int i = 0; i < 3; ++i) with.push_back(plugin_.dll().AreYouInFocus().value);
    }
    const bool canClose = !TargetPresent();
    if (canClose) {
      for (int i = 0; i < 3; ++i) without.push_back(plugin_.dll().AreYouInFocus().value);
    }
    std::vector<std::uint32_t> all = with;
    all.insert(all.end(), without.begin(), without.end());
    const auto notAFlag =
        std::find_if(all.begin(), all.end(), [](std::uint32_t v) { return v > 1; });
    if (notAFlag != all.end()) {
      report_.Line(Verdict::Fail, "AreYouInFocus",
                   "returned " + std::to_string(static_cast<std::int32_t>(*notAFlag)) +
                       ": the host expects 0 or 1");
      return;
    }
    const auto steady = [](const std::vector<std::uint32_t>& values) {
      return std::equal(values.begin() + 1, values.end(), values.begin());
    };
    const std::string target = "a \"" + session_.targetClass + "\" window";
    if (!canClose) {
      report_.Line(Verdict::Warn, "AreYouInFocus",
                   std::to_string(with.front()) + " with " + target +
                       "; not tried without one, since one is open on this desktop");
    } else if (steady(with) && steady(without) && with.front() == 1 && without.front() == 0) {
      report_.Line(Verdict::Pass, "AreYouInFocus", "1 with " + target + ", 0 without");
    } else {
      report_.Line(Verdict::Warn, "AreYouInFocus",
                   std::to_string(with.front()) + " with " + target + ", " +
                       std::to_string(without.front()) +
                       " without: it does not follow the target's presence (what \"in focus\" "
                       "means is the plug-in's own)");
    }
  }

  // Configure on a fresh load: what it returned and which windows it showed.
  struct Configured {
    GuardedResult result;
    std::vector<hostkit::ClosedWindow> windows;
  };
  Configured CallConfigure(HWND owner) {
    hostkit::WindowCloser closer(plugin_.WorkerProcessId());
    GuardedResult result = plugin_.dll().Configure(owner);
    return {std::move(result), closer.Stop()};
  }

  // What `probe` does from a fresh load, with or without Configure first. With `settleBefore`,
  // only the last call is looked at, after a quiet pause that lets keys the others send late
  // come and go.
  std::vector<CallOutcome> FromFreshLoad(const std::vector<HandleKeyCall>& probe,
                                         bool configureFirst, HWND owner, bool settleBefore,
                                         std::optional<Configured>& configured) {
    plugin_.EndWorker();
    std::string error;
    if (!plugin_.Load(error)) throw PluginLost(error, {});
    if (configureFirst) configured = CallConfigure(owner);
    if (!settleBefore) return Replay(plugin_, probe);
    Replay(plugin_, {probe.begin(), probe.end() - 1});
    Settle(plugin_);
    return Replay(plugin_, {probe.back()});
  }

  void CheckConfigure() {
    // What HandleKey does from a fresh load, before and after Configure: the handled calls of
    // the sweep and a few that were not.
    std::vector<HandleKeyCall> probe(
        handled_.begin(), handled_.begin() + static_cast<std::ptrdiff_t>(
                                                 std::min(handled_.size(), ConfigureProbeLimit)));
    for (std::uint32_t keyCode : {0u, 7u, 28u, 100u}) probe.push_back({0, keyCode, 1});
    // Calls that crashed or hung were reported by the check that made them.
    std::erase_if(probe, [&](const HandleKeyCall& call) {
      return std::find(lostIn_.begin(), lostIn_.end(), call) != lostIn_.end();
    });
    const hostkit::StandInWindow target = Target();
    const hostkit::StandInWindow host("Remote Wonder host stand-in", "PlughostHostWindow");

    std::optional<Configured> configured;
    const std::vector<CallOutcome> before =
        FromFreshLoad(probe, false, host.handle(), false, configured);
    const std::vector<CallOutcome> after =
        FromFreshLoad(probe, true, host.handle(), false, configured);
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
      // Confirmed only when the one call differs again with late keys of the calls before it
      // settled: those are no effect of Configure's.
      const std::vector<HandleKeyCall> upTo(
          probe.begin(), probe.begin() + static_cast<std::ptrdiff_t>(differs) + 1);
      std::optional<Configured> ignored;
      const CallOutcome settledBefore =
          FromFreshLoad(upTo, false, host.handle(), true, ignored).back();
      const CallOutcome settledAfter =
          FromFreshLoad(upTo, true, host.handle(), true, ignored).back();
      if (settledBefore == settledAfter) differs = before.size();
    }
    if (!result.breach.empty()) {
      report_.Line(Verdict::Fail, "Configure", result.breach);
    } else if (windows.size() > 1) {
      report_.Line(Verdict::Warn, "Configure", evidence + ": the host expects at most one");
    } else if (differs < before.size()) {
      report_.Line(Verdict::Warn, "Configure",
                   evidence + "; afterwards " + Describe(probe[differs]) + " gave " +
                       std::to_string(after[differs].handled) + " " + after[differs].trace +
                       ", from a fresh load " + std::to_string(before[differs].handled) + " " +
                       before[differs].trace);
    } else {
      report_.Line(Verdict::Pass, "Configure",
                   evidence + "; HandleKey behaves the same after it (" +
                       std::to_string(probe.size()) + " calls compared)");
    }
  }

  void CheckReload() {
    std::string error;
    hostkit::ResourceSample samples[2] = {};
    for (int cycle = 1; cycle <= ReloadCycles; ++cycle) {
      plugin_.Unload();
      if (const std::string raised = plugin_.LoaderException(); !raised.empty()) {
        return report_.Line(Verdict::Fail, "reload",
                            "unload " + std::to_string(cycle) + " raised " + raised +
                                " (the system's loader hid it)");
      }
      if (!plugin_.Load(error)) {
        return report_.Line(
            Verdict::Fail, "reload",
            "load " + std::to_string(cycle) + " failed: " + WithLoaderException(error));
      }
      if (const std::string raised = plugin_.LoaderException(); !raised.empty()) {
        return report_.Line(Verdict::Fail, "reload",
                            "load " + std::to_string(cycle) + " raised " + raised +
                                " (the system's loader hid it)");
      }
      if (cycle == ReloadWarmUp) samples[0] = plugin_.SampleResources();
      if (cycle == ReloadCycles) samples[1] = plugin_.SampleResources();
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
    report_.Line(leaks ? Verdict::Warn : Verdict::Pass, "reload",
                 std::string(evidence) + (leaks ? ": they keep growing" : ""));
  }

  const Session& session_;
  CheckReport& report_;
  PluginSession plugin_;
  std::vector<HandleKeyCall> handled_;  // by the sweep with the target open
  std::vector<HandleKeyCall> lostIn_;   // calls that crashed, hung or ended the worker
  bool lateReported_ = false;
};

}  // namespace

int Check(const Session& session) {
  CheckReport report;
  Checker checker(session, report);
  return checker.Run();
}

}  // namespace plughost
