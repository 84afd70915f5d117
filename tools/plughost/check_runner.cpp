#include "tools/plughost/check_runner.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "tools/plughost/check_context.h"
#include "tools/plughost/check_registry.h"
#include "tools/plughost/handle_key_sweep.h"
#include "tools/plughost/sha256.h"

namespace plughost {
namespace {

// How long keys may come after a call that sent them late, beyond the delay first seen, and the
// longest wait for them; how many calls are tried as their cause; the quiet that ends them.
constexpr DWORD LateMarginMs = 500;
constexpr DWORD LateWaitLimitMs = 5000;
constexpr std::size_t LateSuspects = 4;
constexpr DWORD LateQuietMs = 300;
constexpr DWORD LatePollMs = 50;

std::vector<std::uint8_t> HeldAfter(const std::vector<keytrace::KeyEvent>& events) {
  keytrace::HeldKeys held;
  held.Apply(events);
  return held.Down();
}

Verdict LateVerdict(const std::vector<keytrace::KeyEvent>& events) {
  return HeldAfter(events).empty() ? Verdict::Warn : Verdict::Fail;
}

std::string LeftDownNote(const std::vector<keytrace::KeyEvent>& events) {
  const std::vector<std::uint8_t> held = HeldAfter(events);
  if (held.empty()) return {};
  return "; they " + LeftDownText(held);
}

class Runner {
 public:
  Runner(const CommandLine& commandLine, const std::string& path, std::uint32_t seed)
      : context_(commandLine, path, seed) {}

  PluginReport Run(const std::function<bool(const std::string&)>& selected,
                   const std::function<void(const std::string&, const Finding&)>& shown) {
    PluginReport report;
    report.path = context_.plugin().path();
    report.name = FileName(report.path);
    std::ifstream file(report.path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    report.size = bytes.size();
    report.sha256 = Sha256Hex(bytes);
    for (const CheckEntry& entry : CheckRegistry()) {
      if (!selected(entry.name)) continue;
      const ULONGLONG start = GetTickCount64();
      CheckRecord record{entry.name, RunOne(entry), 0};
      record.durationMs = static_cast<double>(GetTickCount64() - start);
      for (const Finding& finding : record.findings) shown(entry.name, finding);
      report.checks.push_back(std::move(record));
    }
    context_.plugin().EndWorker();
    return report;
  }

 private:
  std::vector<Finding> RunOne(const CheckEntry& entry) {
    context_.Begin(entry.name);
    if (const auto why = WhyNot(entry.needs)) return {{Verdict::Skip, *why}};
    bool loading = false;
    try {
      if (entry.needs == Needs::Loading || entry.needs == Needs::Loaded) {
        loading = true;
        context_.plugin().EndWorker();
        std::string error;
        if (!context_.plugin().Load(error)) {
          const std::string raised = context_.plugin().LoaderException();
          if (!raised.empty()) error += "; while loading it raised " + raised;
          notLoaded_ = error;
          if (entry.needs == Needs::Loaded)
            return {{Verdict::Skip, "the DLL did not load: " + error}};
          return {{Verdict::Fail, error}};
        }
        loading = false;
      }
      entry.run(context_);
      ReportLateKeys();
    } catch (const PluginLost& lost) {
      std::string evidence = lost.what();
      if (!lost.released.empty()) {
        evidence += "; it " + LeftDownText(lost.released);
      }
      if (loading) notLoaded_ = lost.what();
      if (loading && entry.needs == Needs::Loaded) {
        return {{Verdict::Skip, "the DLL did not load: " + evidence}};
      }
      context_.Fail(evidence);
      if (lost.call) context_.lostIn.push_back(*lost.call);
      context_.plugin().TakeLateKeys();
    }
    std::vector<Finding> findings = context_.TakeFindings();
    if (findings.empty()) findings.push_back({Verdict::Pass, "nothing to report"});
    return findings;
  }

  std::optional<std::string> WhyNot(Needs needs) {
    if (needs == Needs::Nothing) return std::nullopt;
    const pe_image::PeImage* image = context_.image();
    if (image == nullptr || !image->isDll || image->machine != pe_image::MachineI386 ||
        !image->isPe32) {
      return "the file is not a 32-bit Windows DLL";
    }
    if (needs != Needs::Dll && notLoaded_) return "the DLL did not load: " + *notLoaded_;
    return std::nullopt;
  }

  // Keys that came while no call was running: a WARN, a FAIL when one was left down, with the
  // call that sends them found by trying the calls handled before they came one by one, each
  // from a fresh load and followed by a quiet wait. A call is named only once seen to send them;
  // reported once for the plug-in.
  void ReportLateKeys() {
    const auto late = context_.plugin().TakeLateKeys();
    if (!late || lateReported_) return;
    lateReported_ = true;
    std::size_t tried = 0;
    for (const PluginSession::Returned& suspect : late->handledBefore) {
      if (++tried > LateSuspects) break;
      const DWORD wait =
          std::min<DWORD>(late->arrivedAt - suspect.at + LateMarginMs, LateWaitLimitMs);
      if (const auto found = SendsLate(suspect.call, wait)) {
        context_.lateSenders.push_back(suspect.call);
        context_.Report(LateVerdict(found->events),
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
    context_.Report(LateVerdict(late->events), keytrace::FormatTrace(late->events) + when +
                                                   "; no single call was found to send them" +
                                                   LeftDownNote(late->events));
  }

  // The keys `call` sends after it returns, made alone from a fresh load with the target open:
  // all that come until a quiet pause, once the first has come within `waitMs`.
  std::optional<PluginSession::LateKeys> SendsLate(const HandleKeyCall& call, DWORD waitMs) {
    PluginSession& plugin = context_.plugin();
    const hostkit::StandInWindow target = context_.Target();
    context_.FreshLoad();
    // Keys still on their way from the worker before this one, which sent them late too, are not
    // this call's.
    Settle(plugin);
    plugin.TakeLateKeys();
    plugin.HandleKeys({call});
    PluginSession::Injected injected;
    plugin.Collect(injected);
    std::optional<PluginSession::LateKeys> found;
    DWORD lastNews = GetTickCount();
    // What the first sync already took in counts too: on a slow machine it may take that long.
    for (bool first = true;; first = false) {
      if (!first) {
        const DWORD now = GetTickCount();
        if (found ? now - lastNews >= LateQuietMs : now - lastNews >= waitMs) break;
        Sleep(LatePollMs);
        plugin.Collect(injected);
      }
      if (injected.late.events.empty()) continue;
      lastNews = GetTickCount();
      if (!found) {
        found = injected.late;
      } else {
        found->events.insert(found->events.end(), injected.late.events.begin(),
                             injected.late.events.end());
      }
    }
    plugin.TakeLateKeys();
    plugin.EndWorker();
    return found;
  }

  CheckContext context_;
  std::optional<std::string> notLoaded_;
  bool lateReported_ = false;
};

}  // namespace

PluginReport RunChecks(const CommandLine& commandLine, const std::string& path, std::uint32_t seed,
                       const std::function<bool(const std::string& check)>& selected,
                       const std::function<void(const std::string& check, const Finding&)>& shown) {
  Runner runner(commandLine, path, seed);
  return runner.Run(selected, shown);
}

}  // namespace plughost
