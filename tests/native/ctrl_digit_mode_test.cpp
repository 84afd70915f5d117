// The control-digit mode as short scenarios: key 28 switches it, three digits wrap in Ctrl and
// then it switches itself off.

#include <cstdint>

#include "tests/ctrl_digit_scenarios.h"
#include "tests/native/key_translation_fixture.h"

namespace {

constexpr const char* CtrlDigit4 = "Ctrl↓ Num4↓ Num4↑ Ctrl↑";

TEST_F(KeyTranslation, ModeStartsOff) {
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑");
  ExpectMode(0, 0);
}

TEST_F(KeyTranslation, ThreeDigitsWithCtrlThenPlainAgain) {
  EXPECT_EQ(Press(28).handled, 1);
  ExpectMode(1, 0);
  EXPECT_EQ(Press(1).trace, "Ctrl↓ Num1↓ Num1↑ Ctrl↑");
  ExpectMode(1, 1);
  EXPECT_EQ(Press(2).trace, "Ctrl↓ Num2↓ Num2↑ Ctrl↑");
  ExpectMode(1, 2);
  EXPECT_EQ(Press(3).trace, "Ctrl↓ Num3↓ Num3↑ Ctrl↑");
  ExpectMode(0, 0);
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑");
  ExpectMode(0, 0);
}

TEST_F(KeyTranslation, KeyTwentyEightSwitchesOffAndClearsTheCount) {
  Press(28);
  EXPECT_EQ(Press(4).trace, CtrlDigit4);
  EXPECT_EQ(Press(28).trace, "(nothing)");
  ExpectMode(0, 0);
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑");

  Press(28);  // a fresh run of three
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Press(4).trace, CtrlDigit4) << "digit " << i;
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑");
}

TEST_F(KeyTranslation, KeyTwentyEightTwiceLeavesModeOff) {
  EXPECT_EQ(Press(28).handled, 1);
  EXPECT_EQ(Press(28).handled, 1);
  ExpectMode(0, 0);
}

TEST_F(KeyTranslation, OtherKeysNeitherUseNorAdvanceTheMode) {
  Press(28);
  Press(4);
  EXPECT_EQ(Press(23).trace, "F6↓ F6↑");
  EXPECT_EQ(Press(30).trace, "Ctrl↓ PgUp↓ PgUp↑ Ctrl↑");
  EXPECT_EQ(Press(25, 2).trace, "F11↓ F11↑");
  EXPECT_EQ(Press(13).handled, 0);
  ExpectMode(1, 1);
}

TEST_F(KeyTranslation, DigitsAndToggleDoNothingInStateTwo) {
  Press(28);
  Press(4);
  for (std::uint32_t keyCode : {0u, 4u, 9u, 28u}) {
    const Outcome seen = Press(keyCode, 2);
    EXPECT_EQ(seen.handled, 0) << "key " << keyCode;
    EXPECT_EQ(seen.trace, "(nothing)") << "key " << keyCode;
  }
  ExpectMode(1, 1);
}

TEST_F(KeyTranslation, OnlyModeValueOneCountsAsOn) {
  // Cannot arise through the plug-in's own calls; pins down what "on" means for the fields.
  state.CtrlDigitMode = 2;
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑");
  Press(28);
  ExpectMode(0, 0);
}

TEST_F(KeyTranslation, ScenariosWithTheTargetComingAndGoing) {
  for (const CtrlDigitScenario& scenario : CtrlDigitScenarios()) {
    state = {};
    PlayCtrlDigitSteps(
        scenario, [&](bool present) { recorder.targetPresent = present; },
        [&](std::uint16_t keyCode, std::uint16_t keyState) { return Press(keyCode, keyState); });
  }
}

}  // namespace
