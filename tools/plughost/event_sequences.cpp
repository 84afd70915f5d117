#include "tools/plughost/event_sequences.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>

#include "tools/plughost/handle_key_sweep.h"

namespace plughost {
namespace {

constexpr std::size_t ShortestSeries = 2;
constexpr std::size_t LongestSeries = 12;
// One event in this many of a random series is one the plug-in does not act on.
constexpr std::uint32_t OtherEventOneIn = 4;
// Series tried while shrinking, at most.
constexpr int ShrinkAttempts = 300;

// What went wrong in a series, and where: the same kind and detail is "the same failure".
struct Problem {
  enum Kind { LeftDown, BadResult, Breach, Lost, Differs } kind;
  std::string detail;  // the keys left down, the breach, the account
  std::size_t at = 0;  // the call it shows after
  std::string text;    // in words, after the series
  [[nodiscard]] bool Same(const Problem& other) const {
    return kind == other.kind && detail == other.detail;
  }
};

// What each call of a series did.
struct Played {
  std::vector<GuardedResult> results;
  std::vector<std::string> traces;  // the keys each call sent
  std::optional<Problem> problem;
};

class Explorer {
 public:
  explicit Explorer(CheckContext& context) : context_(context), plugin_(context.plugin()) {}

  // Plays `series` from a fresh load (in the same worker: reloading is cheap, a process not).
  Played Play(const std::vector<HandleKeyCall>& series) {
    Played played;
    try {
      if (!reloaded_) {
        context_.FreshLoad();
        reloaded_ = true;
      } else {
        plugin_.Unload();
        std::string error;
        if (!plugin_.Load(error)) throw PluginLost(error, {});
      }
      played.results = plugin_.HandleKeys(series);
      PluginSession::Injected injected;
      plugin_.Collect(injected);
      Judge(series, injected, played);
    } catch (const PluginLost& lost) {
      reloaded_ = false;
      std::size_t at = series.size() - 1;
      if (lost.call) {
        at = static_cast<std::size_t>(std::find(series.begin(), series.end(), *lost.call) -
                                      series.begin());
        at = std::min(at, series.size() - 1);
      }
      const std::string account = lost.what();
      // The call is named in the account; its kind is what counts as the same failure.
      const std::string detail = account.substr(account.find(") ") + 1);
      played.problem = Problem{Problem::Lost, detail, at, account};
    }
    return played;
  }

  // The problem of `series`, played from fresh loads; twice when `twice`, to compare the keys.
  std::optional<Problem> Fails(const std::vector<HandleKeyCall>& series, bool twice) {
    ++played_;
    const Played first = Play(series);
    if (first.problem || !twice) return first.problem;
    const Played second = Play(series);
    if (second.problem) return second.problem;
    for (std::size_t i = 0; i < series.size(); ++i) {
      if (first.results[i].value == second.results[i].value &&
          first.traces[i] == second.traces[i]) {
        continue;
      }
      return Problem{Problem::Differs, "", i,
                     "give different keys from two fresh loads: " + Describe(series[i]) + " gave " +
                         std::to_string(first.results[i].value) + " " + first.traces[i] +
                         ", then " + std::to_string(second.results[i].value) + " " +
                         second.traces[i]};
    }
    return std::nullopt;
  }

  // The shortest series found that fails the same way as `series` does with `problem`.
  std::vector<HandleKeyCall> Shrink(std::vector<HandleKeyCall> series, Problem& problem,
                                    bool twice) {
    series.resize(problem.at + 1);
    int attempts = 0;
    std::size_t parts = 2;
    while (series.size() > 1 && attempts < ShrinkAttempts) {
      const std::size_t chunk = (series.size() + parts - 1) / parts;
      bool smaller = false;
      for (std::size_t start = 0; start < series.size() && attempts < ShrinkAttempts;
           start += chunk) {
        std::vector<HandleKeyCall> candidate(series.begin(),
                                             series.begin() + static_cast<std::ptrdiff_t>(start));
        candidate.insert(
            candidate.end(),
            series.begin() + static_cast<std::ptrdiff_t>(std::min(start + chunk, series.size())),
            series.end());
        ++attempts;
        const auto found = Fails(candidate, twice);
        if (found && found->Same(problem)) {
          candidate.resize(found->at + 1);
          series = candidate;
          problem = *found;
          parts = std::max<std::size_t>(parts - 1, 2);
          smaller = true;
          break;
        }
      }
      if (smaller) continue;
      if (parts >= series.size()) break;
      parts = std::min(parts * 2, series.size());
    }
    return series;
  }

  [[nodiscard]] int played() const { return played_; }

 private:
  // The rules of the sweep, after every call: results 0 or 1, no breach, no key left down.
  static void Judge(const std::vector<HandleKeyCall>& series,
                    const PluginSession::Injected& injected, Played& played) {
    played.traces.assign(series.size(), "");
    std::vector<std::vector<keytrace::KeyEvent>> perCall(series.size());
    for (std::size_t e = 0; e < injected.events.size(); ++e) {
      const std::size_t index = injected.callIndex[e];
      if (index < series.size()) perCall[index].push_back(injected.events[e]);
    }
    keytrace::HeldKeys held;
    for (std::size_t i = 0; i < series.size() && i < played.results.size(); ++i) {
      played.traces[i] = keytrace::FormatTrace(perCall[i]);
      const GuardedResult& result = played.results[i];
      if (!result.breach.empty()) {
        played.problem = Problem{Problem::Breach, result.breach, i, result.breach};
        return;
      }
      if (result.value > 1) {
        played.problem = Problem{Problem::BadResult, "", i,
                                 "make " + Describe(series[i]) + " return " +
                                     std::to_string(static_cast<std::int32_t>(result.value)) +
                                     ": the host expects 0 or 1"};
        return;
      }
      held.Apply(perCall[i]);
      if (const std::vector<std::uint8_t> down = held.Down(); !down.empty()) {
        const std::string keys = keytrace::KeyList(down);
        played.problem = Problem{Problem::LeftDown, keys, i, "leave " + keys + " down"};
        return;
      }
    }
  }

  CheckContext& context_;
  PluginSession& plugin_;
  bool reloaded_ = false;
  int played_ = 0;
};

// The events the plug-in acts on, as plain calls: low halves only, first argument 0.
std::vector<HandleKeyCall> ActedOn(const std::vector<HandleKeyCall>& handled) {
  std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
  std::vector<HandleKeyCall> events;
  for (const HandleKeyCall& call : handled) {
    const std::uint32_t code = call.keyCode & 0xFFFF;
    const std::uint32_t state = call.keyState & 0xFFFF;
    if (seen.insert({code, state}).second) events.push_back({0, code, state});
  }
  return events;
}

}  // namespace

std::string DescribeSeries(const std::vector<HandleKeyCall>& series) {
  const auto plain = [](const HandleKeyCall& call) {
    return call.first == 0 && call.keyCode <= 0xFFFF && call.keyState <= 0xFFFF;
  };
  const bool allPlain = std::all_of(series.begin(), series.end(), plain);
  const bool oneState =
      allPlain && std::all_of(series.begin(), series.end(), [&](const HandleKeyCall& call) {
        return call.keyState == series.front().keyState;
      });
  std::string text = series.size() == 1 ? "event " : "events ";
  for (std::size_t i = 0; i < series.size(); ++i) {
    if (i > 0) text += ", ";
    const HandleKeyCall& call = series[i];
    if (!allPlain) {
      text += Describe(call);
    } else if (oneState) {
      text += std::to_string(call.keyCode);
    } else {
      text += DescribeKey(static_cast<std::uint16_t>(call.keyCode),
                          static_cast<std::uint16_t>(call.keyState))
                  .substr(4);  // "25:2" of "key 25:2"
    }
  }
  if (oneState && !series.empty()) {
    text += " (state " + std::to_string(series.front().keyState) + ")";
  }
  return text;
}

void CheckEventSequences(CheckContext& context) {
  const std::vector<HandleKeyCall> events = ActedOn(context.HandledWithTarget());
  const std::uint32_t seed = context.seed();
  const std::string seedText = "seed " + std::to_string(seed);
  if (events.empty()) {
    return context.Pass("it acts on no event with the target open: nothing to explore; " +
                        seedText);
  }
  const hostkit::StandInWindow target = context.Target();
  Explorer explorer(context);
  // Shrinks a failing series and reports it, once it fails the same way again after a quiet
  // pause: keys another thread of the plug-in sent late may have landed in the first run.
  const auto reported = [&](std::vector<HandleKeyCall> series, Problem problem, bool twice) {
    series = explorer.Shrink(std::move(series), problem, twice);
    Settle(context.plugin());
    const auto again = explorer.Fails(series, twice);
    if (!again || !again->Same(problem)) return false;
    const Verdict verdict = problem.kind == Problem::Differs ? Verdict::Warn : Verdict::Fail;
    const std::string what = problem.kind == Problem::Lost || problem.kind == Problem::Breach
                                 ? ": " + problem.text
                                 : " " + problem.text;
    context.Report(verdict, DescribeSeries(series) + what + "; " + seedText);
    return true;
  };

  for (const HandleKeyCall& a : events) {
    for (const HandleKeyCall& b : events) {
      const auto problem = explorer.Fails({a, b}, false);
      if (problem && reported({a, b}, *problem, false)) return;
    }
  }
  const std::size_t pairs = events.size() * events.size();

  // Seeded, and drawn with nothing but the generator itself, so a seed gives the same series on
  // every machine.
  std::mt19937 random(seed);
  std::uint32_t played = 0;
  int series = 0;
  while (played < context.options().check.events) {
    const std::size_t length = ShortestSeries + random() % (LongestSeries - ShortestSeries + 1);
    std::vector<HandleKeyCall> calls;
    for (std::size_t i = 0; i < length; ++i) {
      if (random() % OtherEventOneIn != 0) {
        calls.push_back(events[random() % events.size()]);
      } else {
        // Any code in the states the host sends, now and then with an upper half.
        const std::uint32_t upper = random() % 8 == 0 ? (random() & 0xFFFF0000) : 0;
        calls.push_back({0, upper | (random() & 0xFFFF), 1 + random() % 2});
      }
    }
    played += static_cast<std::uint32_t>(length);
    ++series;
    const auto problem = explorer.Fails(calls, true);
    if (problem && reported(calls, *problem, true)) return;
  }
  context.Pass(std::to_string(pairs) + " pairs of the " + std::to_string(events.size()) +
               " events it acts on, then " + std::to_string(series) + " random series of " +
               std::to_string(played) +
               " events, each from a fresh load: results 0 or 1, no key left down, the same keys "
               "from two loads; " +
               seedText);
}

}  // namespace plughost
