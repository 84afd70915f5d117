// plughost check: does a plug-in keep the host's contract? One PASS, WARN or FAIL line per
// check, with its evidence. Every keystroke is swallowed, so nothing types into the user's
// windows.

#include <windows.h>

#include <map>
#include <optional>
#include <vector>

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
constexpr SIZE_T MemoryGrowthLimit = 16 * 1024 * (ReloadCycles - ReloadWarmUp);
constexpr std::size_t ConfigureProbeLimit = 64;
constexpr std::size_t BufferWords = 1024;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

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
                      " calls: arguments left to the caller; EBX, ESI, EDI and EBP kept");
    }
  }

 private:
  int calls_ = 0;
  std::map<std::string, std::string> breaches_;
};

struct ResourceSample {
  DWORD handles;
  bool handlesCounted;  // false: `handles` is the highest handle index in use, a stand-in
  SIZE_T privateBytes;
};

// Handles and committed private memory. Where the system does not count handles (Wine), the
// value of a new handle stands in: handles are handed out lowest free first, so leaked ones
// push it up.
ResourceSample SampleResources() {
  ResourceSample sample{};
  if (GetProcessHandleCount(GetCurrentProcess(), &sample.handles) && sample.handles > 0) {
    sample.handlesCounted = true;
  } else {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    sample.handles = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(probe) / 4);
    CloseHandle(probe);
  }
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      sample.privateBytes += region.RegionSize;
    }
    if (region.RegionSize == 0) break;
  }
  return sample;
}

class Checker {
 public:
  Checker(const Session& session, CheckReport& report)
      : session_(session),
        report_(report),
        plugin_(session.dllPath, session.timeoutMs, hostkit::KeyboardCapture::Delivery::Swallow,
                [this](const std::string& account, const std::vector<std::uint8_t>& released) {
                  ReportFatal(account, released);
                }) {}

  int Run() {
    if (CheckFile(plugin_.path(), report_) && CheckLoad()) {
      CheckCallingConvention();
      CheckAnswers();
      const std::vector<HandleKeyCall> handled = CheckHandleKeyWithTarget();
      CheckHandleKeyWithoutTarget();
      CheckFocus();
      CheckConfigure(handled);
      CheckReload();
    }
    return report_.Finish(FileName(plugin_.path()));
  }

 private:
  // On the watchdog thread, while the call is stuck: the process ends right after.
  void ReportFatal(const std::string& account, const std::vector<std::uint8_t>& released) {
    std::string evidence = account;
    if (!released.empty()) {
      evidence += "; it left " + keytrace::KeyList(released) + " down (plughost released it)";
    }
    report_.Line(Verdict::Fail, report_.current(), evidence);
    std::printf("(the checks after this one were not run: the plug-in cannot be called again)\n");
    report_.Finish(FileName(plugin_.path()));
  }

  [[nodiscard]] bool TargetPresent() const {
    return FindWindowA(session_.targetClass.c_str(), nullptr) != nullptr;
  }

  bool CheckLoad() {
    report_.Begin("load");
    std::string error;
    if (!plugin_.Load(error)) {
      report_.Line(Verdict::Fail, "load", error);
      return false;
    }
    report_.Line(Verdict::Pass, "load", "loaded, DllMain succeeded, all five exports found");
    return true;
  }

  void CheckCallingConvention() {
    report_.Begin("cdecl");
    BreachLog breaches;
    const hostkit::StandInWindow target(hostkit::StandInTitle, session_.targetClass.c_str());
    std::vector<std::uint32_t> buffers(4 * BufferWords, 0);
    const auto buffer = [&](int index) {
      return static_cast<std::uint32_t>(
          reinterpret_cast<std::uintptr_t>(&buffers[index * BufferWords]));
    };
    breaches.Note("WhatKeysDoYouWant", plugin_.dll().WhatKeysDoYouWant());
    breaches.Note("AreYouInFocus", plugin_.dll().AreYouInFocus());
    for (const std::initializer_list<std::uint32_t> arguments :
         {std::initializer_list<std::uint32_t>{},
          {0},
          {buffer(0), 0},
          {1, buffer(1), 0x100},
          {0xFFFFFFFF, buffer(2), buffer(3), 0}}) {
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
    report_.Begin("WhatKeysDoYouWant");
    std::vector<std::uint32_t> masks;
    masks.reserve(AnswerRepeats);
    for (int i = 0; i < AnswerRepeats; ++i)
      masks.push_back(plugin_.dll().WhatKeysDoYouWant().value);
    if (std::equal(masks.begin() + 1, masks.end(), masks.begin())) {
      report_.Line(Verdict::Pass, "WhatKeysDoYouWant",
                   Hex(masks.front()) + " on all " + std::to_string(AnswerRepeats) + " calls");
    } else {
      report_.Line(Verdict::Fail, "WhatKeysDoYouWant",
                   "answers change from call to call: " + Hex(masks.front()) + ", then " +
                       Hex(*std::find_if(masks.begin(), masks.end(),
                                         [&](std::uint32_t m) { return m != masks.front(); })));
    }

    report_.Begin("programmable functions");
    std::vector<std::uint32_t> buffers(2 * BufferWords, 0);
    const auto first = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffers.data()));
    const auto second =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&buffers[BufferWords]));
    std::vector<std::uint32_t> answers;
    for (int i = 0; i < AnswerRepeats; ++i) {
      answers.push_back(plugin_.dll().EnumerateProgrammableFunction({}).value);
      answers.push_back(plugin_.dll().EnumerateProgrammableFunction({0, first, second, 0}).value);
    }
    const bool wrote =
        std::any_of(buffers.begin(), buffers.end(), [](std::uint32_t w) { return w != 0; });
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

  std::vector<HandleKeyCall> CheckHandleKeyWithTarget() {
    const std::string check = "HandleKey, target open";
    report_.Begin(check);
    const hostkit::StandInWindow target(hostkit::StandInTitle, session_.targetClass.c_str());
    return SweepHandleKey(plugin_, SweepCalls(), check, report_);
  }

  void CheckHandleKeyWithoutTarget() {
    const std::string check = "HandleKey, no target";
    report_.Begin(check);
    if (TargetPresent()) {
      report_.Line(Verdict::Warn, check,
                   "not run: a window of class \"" + session_.targetClass +
                       "\" is open on this desktop (close it to run this check)");
      return;
    }
    SweepHandleKey(plugin_, SweepCalls(), check, report_);
  }

  void CheckFocus() {
    report_.Begin("AreYouInFocus");
    std::vector<std::uint32_t> with;
    std::vector<std::uint32_t> without;
    {
      const hostkit::StandInWindow target(hostkit::StandInTitle, session_.targetClass.c_str());
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

  void CheckConfigure(const std::vector<HandleKeyCall>& handled) {
    report_.Begin("Configure");
    // What HandleKey does from a fresh load, before and after Configure: the handled calls of
    // the sweep and a few that were not.
    std::vector<HandleKeyCall> probe(
        handled.begin(), handled.begin() + static_cast<std::ptrdiff_t>(
                                               std::min(handled.size(), ConfigureProbeLimit)));
    for (std::uint32_t keyCode : {0u, 7u, 28u, 100u}) probe.push_back({0, keyCode, 1});
    const hostkit::StandInWindow target(hostkit::StandInTitle, session_.targetClass.c_str());
    hostkit::StandInWindow host("Remote Wonder host stand-in", "PlughostHostWindow");

    std::string error;
    if (!plugin_.Load(error)) return report_.Line(Verdict::Fail, "Configure", error);
    const std::vector<CallOutcome> before = Replay(plugin_, probe);
    if (!plugin_.Load(error)) return report_.Line(Verdict::Fail, "Configure", error);

    hostkit::WindowCloser closer;
    const GuardedResult result = plugin_.dll().Configure(host.handle());
    const std::vector<hostkit::ClosedWindow> windows = closer.Stop();
    const std::vector<CallOutcome> after = Replay(plugin_, probe);

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
    if (!result.breach.empty()) {
      report_.Line(Verdict::Fail, "Configure", result.breach);
    } else if (windows.size() > 1) {
      report_.Line(Verdict::Warn, "Configure", evidence + ": the host expects at most one");
    } else if (before != after) {
      std::size_t i = 0;
      while (before[i] == after[i]) ++i;
      report_.Line(Verdict::Warn, "Configure",
                   evidence + "; afterwards " + Describe(probe[i]) + " gave " +
                       std::to_string(after[i].handled) + " " + after[i].trace +
                       ", from a fresh load " + std::to_string(before[i].handled) + " " +
                       before[i].trace);
    } else {
      report_.Line(Verdict::Pass, "Configure",
                   evidence + "; HandleKey behaves the same after it (" +
                       std::to_string(probe.size()) + " calls compared)");
    }
  }

  void CheckReload() {
    report_.Begin("reload");
    std::string error;
    ResourceSample samples[2] = {};
    for (int cycle = 1; cycle <= ReloadCycles; ++cycle) {
      plugin_.Unload();
      if (!plugin_.Load(error)) {
        return report_.Line(Verdict::Fail, "reload",
                            "load " + std::to_string(cycle) + " failed: " + error);
      }
      if (cycle == ReloadWarmUp) samples[0] = SampleResources();
      if (cycle == ReloadCycles) samples[1] = SampleResources();
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
};

}  // namespace

int Check(const Session& session) {
  CheckReport report;
  Checker checker(session, report);
  return checker.Run();
}

}  // namespace plughost
