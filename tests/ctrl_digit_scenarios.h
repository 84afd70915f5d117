#pragma once

// The control-digit mode as scenarios of events and what each must give, written by hand. Played
// on the key translation natively and on the DLL end to end, each side with its own runner.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct CtrlDigitStep {
  std::uint16_t keyCode;
  std::uint16_t keyState;
  bool targetPresent;
  std::int32_t handled;
  const char* trace;
};

struct CtrlDigitScenario {
  const char* name;
  std::vector<CtrlDigitStep> steps;
};

inline const std::vector<CtrlDigitScenario>& CtrlDigitScenarios() {
  constexpr const char* Ctrl1 = "Ctrl↓ Num1↓ Num1↑ Ctrl↑";
  constexpr const char* Ctrl4 = "Ctrl↓ Num4↓ Num4↑ Ctrl↑";
  constexpr const char* Plain4 = "Num4↓ Num4↑";
  constexpr const char* None = "(nothing)";
  static const std::vector<CtrlDigitScenario> scenarios = {
      {"28 then four digits",
       {{28, 1, true, 1, None},
        {1, 1, true, 1, Ctrl1},
        {2, 1, true, 1, "Ctrl↓ Num2↓ Num2↑ Ctrl↑"},
        {3, 1, true, 1, "Ctrl↓ Num3↓ Num3↑ Ctrl↑"},
        {4, 1, true, 1, Plain4}}},
      {"28, digit, 28: off, then a fresh three",
       {{28, 1, true, 1, None},
        {4, 1, true, 1, Ctrl4},
        {28, 1, true, 1, None},
        {4, 1, true, 1, Plain4},
        {28, 1, true, 1, None},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Plain4}}},
      {"mode on: 23 and 30 neither use nor advance it",
       {{28, 1, true, 1, None},
        {1, 1, true, 1, Ctrl1},
        {23, 1, true, 1, "F6↓ F6↑"},
        {30, 1, true, 1, "Ctrl↓ PgUp↓ PgUp↑ Ctrl↑"},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Plain4}}},
      {"a digit in state 2 does nothing",
       {{28, 1, true, 1, None},
        {4, 2, true, 0, None},
        {28, 2, true, 0, None},
        {4, 1, true, 1, Ctrl4}}},
      {"events while the target is absent leave the mode alone",
       {{28, 1, true, 1, None},
        {4, 1, true, 1, Ctrl4},
        {4, 1, false, 0, None},
        {28, 1, false, 0, None},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Ctrl4},
        {4, 1, true, 1, Plain4}}},
      {"28 twice leaves it off",
       {{28, 1, true, 1, None}, {28, 1, true, 1, None}, {4, 1, true, 1, Plain4}}},
  };
  return scenarios;
}

// Plays the steps of `scenario` in order: `setTarget(present)` before each, then
// `press(keyCode, keyState)`, whose outcome (handled, trace) is checked against the step.
template <typename SetTarget, typename Press>
void PlayCtrlDigitSteps(const CtrlDigitScenario& scenario, SetTarget setTarget, Press press) {
  SCOPED_TRACE(scenario.name);
  for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
    const CtrlDigitStep& step = scenario.steps[i];
    setTarget(step.targetPresent);
    const auto seen = press(step.keyCode, step.keyState);
    EXPECT_EQ(seen.handled, step.handled)
        << "step " << i << ": key " << step.keyCode << " state " << step.keyState;
    EXPECT_EQ(seen.trace, step.trace)
        << "step " << i << ": key " << step.keyCode << " state " << step.keyState;
  }
}
