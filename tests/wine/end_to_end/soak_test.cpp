// A long random run of every export against the model of the plug-in, the target coming and
// going.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "tests/plugin_model.h"
#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/window_closer.h"

namespace {

constexpr std::int32_t WantedKeysMask = 0x3FF8;
constexpr unsigned DefaultSoakSeed = 20080501;

TEST_F(EndToEnd, RandomSoakAgainstAModel) {
  // A fixed seed, so that a failure comes back on every run; MORLUNE_SOAK_SEED picks another.
  const char* seedText = std::getenv("MORLUNE_SOAK_SEED");
  const unsigned seed =
      seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 0)) : DefaultSoakSeed;
  std::printf("soak seed %u (set MORLUNE_SOAK_SEED to choose another)\n", seed);
  RecordProperty("seed", std::to_string(seed));
  SCOPED_TRACE("soak seed " + std::to_string(seed) + ": MORLUNE_SOAK_SEED=" + std::to_string(seed) +
               " replays this run");
  std::mt19937 random(seed);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };

  PluginModel model;
  std::optional<hostkit::StandInWindow> morlune;
  morlune.emplace();
  // Dialogs alone: the stand-in windows come and go meanwhile.
  const hostkit::WindowCloser closer(GetCurrentProcessId(), hostkit::WindowCloser::Closes::Dialogs);
  for (int call = 0; call < 2500 && !HasFailure(); ++call) {
    const int what = static_cast<int>(random() % 100);
    if (what < 2) {  // the target comes or goes
      if (morlune) {
        morlune.reset();
      } else {
        morlune.emplace();
      }
      continue;
    }
    if (what < 4) {
      ASSERT_EQ(dll().AreYouInFocus(), morlune ? 1 : 0) << "call " << call;
    } else if (what < 5) {
      ASSERT_EQ(dll().WhatKeysDoYouWant(), WantedKeysMask) << "call " << call;
    } else if (what < 6) {
      ASSERT_EQ(dll().EnumerateProgrammableFunction(), 0) << "call " << call;
    } else if (what < 7 && call % 10 == 0) {
      ASSERT_EQ(dll().Configure(nullptr), IDOK) << "call " << call;
    } else {
      std::uint32_t keyCode = chance(90) ? random() % 50 : random() & 0xFFFF;
      std::uint32_t keyState = chance(80) ? 1 : chance(60) ? 2 : random() & 0xFFFF;
      if (chance(10)) keyCode |= random() << 16;
      if (chance(10)) keyState |= random() << 16;
      const PluginModel::Result expected = model.HandleKey(morlune.has_value(), keyCode, keyState);
      const std::int32_t handled = dll().HandleKey(random(), keyCode, keyState);
      const std::string trace = Injected();
      ASSERT_EQ(handled, expected.handled)
          << "call " << call << ": key " << keyCode << " state " << keyState;
      ASSERT_EQ(trace, expected.trace)
          << "call " << call << ": key " << keyCode << " state " << keyState;
    }
    if (call % 250 == 0) ExpectNoKeyDown();
  }
  ExpectNoKeyDown();
}

}  // namespace
