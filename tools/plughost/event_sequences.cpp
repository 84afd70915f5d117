#include "tools/plughost/event_sequences.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>

#include "tools/plughost/call_text.h"
#include "tools/plughost/handle_key_sweep.h"

namespace plughost {
namespace {

constexpr std::size_t ShortestSeries = 2;
constexpr std::size_t LongestSeries = 12;
// One event in this many of a random series is one the plug-in does not act on.
constexpr std::uint32_t OtherEventOneIn = 4;
// Series tried while shrinking, at most.
constexpr int ShrinkAttempts = 120;
// Failures that did not come again when replayed, before the exploration gives up.
constexpr int UnconfirmedLimit = 3;
// Series played in one request, each with the reload before it.
constexpr std::size_t PairsABatch = 256;
constexpr std::size_t SeriesABatch = 64;

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

class Explorer {
 public:
  explicit Explorer(CheckContext& context) : plugin_(context.plugin()) {}

  // The problem of each series, played from fresh loads; twice each when `twice`, to compare
  // the keys. As few requests as fit, since a request and its sync cost more than a reload.
  std::vector<std::optional<Problem>> Play(const std::vector<std::vector<HandleKeyCall>>& series,
                                           bool twice) {
    std::vector<std::vector<HandleKeyCall>> runs;
    for (const std::vector<HandleKeyCall>& calls : series) {
      runs.push_back(calls);
      if (twice) runs.push_back(calls);
    }
    std::vector<PluginSession::Played> played;
    try {
      played = plugin_.PlayFromFreshLoads(runs);
    } catch (const PluginLost& lost) {
      // The worker is gone: the series one at a time, to find the one that lost it.
      if (series.size() > 1) {
        std::vector<std::optional<Problem>> problems;
        problems.reserve(series.size());
        for (const std::vector<HandleKeyCall>& calls : series) {
          problems.push_back(Play({calls}, twice).front());
        }
        return problems;
      }
      return {LostIn(series.front(), lost)};
    }
    std::vector<std::optional<Problem>> problems;
    for (std::size_t i = 0; i < series.size(); ++i) {
      const PluginSession::Played& first = played[twice ? 2 * i : i];
      std::optional<Problem> problem = Judge(series[i], first);
      if (!problem && twice) problem = Judge(series[i], played[2 * i + 1]);
      if (!problem && twice) problem = Compare(series[i], first, played[2 * i + 1]);
      problems.push_back(problem);
    }
    return problems;
  }

  std::optional<Problem> Fails(const std::vector<HandleKeyCall>& series, bool twice) {
    return Play({series}, twice).front();
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

 private:
  static Problem LostIn(const std::vector<HandleKeyCall>& series, const PluginLost& lost) {
    // Lost in a reload, the whole series stands.
    const std::size_t at =
        lost.index && *lost.index < series.size() ? *lost.index : series.size() - 1;
    const std::string account = lost.what();
    // The call is named in the account; what it did is what makes two failures the same.
    const std::size_t named = account.find(") ");
    const std::string detail = named == std::string::npos ? account : account.substr(named + 1);
    return Problem{Problem::Lost, detail, at, account};
  }

  // The rules of the sweep, after every call: results 0 or 1, no breach, no key left down.
  static std::optional<Problem> Judge(const std::vector<HandleKeyCall>& series,
                                      const PluginSession::Played& played) {
    keytrace::HeldKeys held;
    for (std::size_t i = 0; i < series.size(); ++i) {
      const GuardedResult& result = played.results[i];
      if (!result.breach.empty()) return Problem{Problem::Breach, result.breach, i, result.breach};
      if (result.value > 1) {
        return Problem{Problem::BadResult, "", i,
                       "make " + Describe(series[i]) + " return " +
                           std::to_string(static_cast<std::int32_t>(result.value)) +
                           ": the host expects 0 or 1"};
      }
      held.Apply(played.keys[i]);
      if (const std::vector<std::uint8_t> down = held.Down(); !down.empty()) {
        const std::string keys = keytrace::KeyList(down);
        return Problem{Problem::LeftDown, keys, i, "leave " + keys + " down"};
      }
    }
    return std::nullopt;
  }

  static std::optional<Problem> Compare(const std::vector<HandleKeyCall>& series,
                                        const PluginSession::Played& first,
                                        const PluginSession::Played& second) {
    for (std::size_t i = 0; i < series.size(); ++i) {
      if (first.results[i].value == second.results[i].value && first.keys[i] == second.keys[i]) {
        continue;
      }
      return Problem{Problem::Differs, "", i,
                     "give different keys from two fresh loads: " + Describe(series[i]) + " gave " +
                         std::to_string(first.results[i].value) + " " +
                         keytrace::FormatTrace(first.keys[i]) + ", then " +
                         std::to_string(second.results[i].value) + " " +
                         keytrace::FormatTrace(second.keys[i])};
    }
    return std::nullopt;
  }

  PluginSession& plugin_;
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

void CheckEventSequences(CheckContext& context) {
  // Calls known to send keys late are left out: their keys land in whichever call runs then.
  std::vector<HandleKeyCall> events = ActedOn(context.HandledWithTarget());
  const std::vector<HandleKeyCall> late = ActedOn(context.lateSenders);
  std::erase_if(events, [&](const HandleKeyCall& event) {
    return std::find(late.begin(), late.end(), event) != late.end();
  });
  const std::string leftOut =
      late.empty() ? "" : " (" + DescribeSeries(late) + " left out: keys sent late)";
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
  int unconfirmed = 0;
  const auto reported = [&](std::vector<HandleKeyCall> series, Problem problem, bool twice) {
    const auto confirmed = [&](const std::vector<HandleKeyCall>& calls) {
      Settle(context.plugin());
      const auto again = explorer.Fails(calls, twice);
      return again && again->Same(problem);
    };
    if (!confirmed(series)) {
      // Too many that do not come again, and the keys of this plug-in cannot be compared call
      // by call: said once, and the exploration ends.
      if (++unconfirmed < UnconfirmedLimit) return false;
      context.Warn(std::to_string(unconfirmed) +
                   " series failed once and not again when replayed (keys sent late, from "
                   "another thread, land in later calls): exploration stopped; " +
                   seedText);
      return true;
    }
    series = explorer.Shrink(std::move(series), problem, twice);
    if (!confirmed(series)) return false;
    const Verdict verdict = problem.kind == Problem::Differs ? Verdict::Warn : Verdict::Fail;
    const std::string what = problem.kind == Problem::Lost || problem.kind == Problem::Breach
                                 ? ": " + problem.text
                                 : " " + problem.text;
    context.Report(verdict, DescribeSeries(series) + what + "; " + seedText);
    return true;
  };

  std::vector<std::vector<HandleKeyCall>> pairs;
  for (const HandleKeyCall& a : events) {
    for (const HandleKeyCall& b : events) pairs.push_back({a, b});
  }
  // Plays one batch; true once a failure is reported.
  const auto found = [&](const std::vector<std::vector<HandleKeyCall>>& batch, bool twice) {
    const std::vector<std::optional<Problem>> problems = explorer.Play(batch, twice);
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (problems[i] && reported(batch[i], *problems[i], twice)) return true;
    }
    return false;
  };
  for (std::size_t begin = 0; begin < pairs.size(); begin += PairsABatch) {
    const std::size_t end = std::min(begin + PairsABatch, pairs.size());
    if (found({pairs.begin() + static_cast<std::ptrdiff_t>(begin),
               pairs.begin() + static_cast<std::ptrdiff_t>(end)},
              false)) {
      return;
    }
  }

  // Seeded, and drawn with nothing but the generator itself, so a seed gives the same series on
  // every machine.
  std::mt19937 random(seed);
  std::uint32_t played = 0;
  int seriesMade = 0;
  while (played < context.options().check.events) {
    std::vector<std::vector<HandleKeyCall>> batch;
    while (batch.size() < SeriesABatch && played < context.options().check.events) {
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
      ++seriesMade;
      batch.push_back(std::move(calls));
    }
    if (found(batch, true)) return;
  }
  context.Pass(std::to_string(pairs.size()) + " pairs of the " + std::to_string(events.size()) +
               " events it acts on" + leftOut + ", then " + std::to_string(seriesMade) +
               " random series of " + std::to_string(played) +
               " events, each from a fresh load: results 0 or 1, no key left down, the same keys "
               "from two loads; " +
               seedText);
}

}  // namespace plughost
