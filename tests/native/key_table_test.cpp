// Every key the plug-in answers to, and the check that nothing else is answered.

#include <utility>

#include "tests/expected_key_map.h"
#include "tests/native/key_translation_fixture.h"

namespace {

TEST_F(KeyTranslation, EveryHandledKeySendsItsKeystrokes) {
  for (const ExpectedKey& row : ExpectedKeyMap) {
    state = {};
    const Outcome seen = Press(row.keyCode, row.keyState);
    EXPECT_EQ(seen.handled, 1) << "key " << row.keyCode << " state " << row.keyState;
    EXPECT_EQ(seen.trace, row.trace) << "key " << row.keyCode << " state " << row.keyState;
  }
}

TEST_F(KeyTranslation, EveryOtherCodeAndStateIsIgnored) {
  // 0x0101 and 0x0102 differ from the acted-on states only in bits 8 to 15.
  for (std::uint32_t keyState : {0u, 1u, 2u, 3u, 0x0101u, 0x0102u, 0x7FFFu, 0xFF01u, 0xFFFFu}) {
    for (std::uint32_t keyCode = 0; keyCode <= 0xFFFF; ++keyCode) {
      if (FindExpectedKey(static_cast<std::uint16_t>(keyCode),
                          static_cast<std::uint16_t>(keyState))) {
        continue;
      }
      const Outcome seen = Press(keyCode, keyState);
      ASSERT_EQ(seen.handled, 0) << "key " << keyCode << " state " << keyState;
      ASSERT_EQ(seen.trace, "(nothing)") << "key " << keyCode << " state " << keyState;
      ASSERT_EQ(state.CtrlDigitMode, 0) << "key " << keyCode << " state " << keyState;
    }
  }
}

TEST_F(KeyTranslation, KeysSharingAKeystrokeGiveIdenticalOutput) {
  for (auto [a, b] : {std::pair{23, 35}, {24, 36}, {37, 39}}) {
    EXPECT_EQ(Press(a).trace, Press(b).trace) << "keys " << a << " and " << b;
  }
}

TEST_F(KeyTranslation, OnlyTheLowHalfOfKeyCodeAndStateCounts) {
  struct Case {
    std::uint32_t keyCodeArg, keyStateArg;
    keys::HandledFlag handled;
    const char* trace;
  };
  const Case cases[] = {
      {0x0001'0017, 1, 1, "F6↓ F6↑"},   // code 23 with a high half
      {23, 0x0002'0001, 1, "F6↓ F6↑"},  // state 1 with a high half
      {0xFFFF'001F, 0xFFFF'0001, 1, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑"},
      {0xFFFF'0019, 0x0001'0002, 1, "F11↓ F11↑"},       // state 2 with a high half
      {0x0001'0000 + 23, 0x0001'0000, 0, "(nothing)"},  // state 0 under a high half
      {0x0031'0000 + 49, 1, 0, "(nothing)"},            // code 49 under a high half
      // Bits 8 to 15 belong to the low half: these are other codes and states, not 23 and 1.
      {0x0117, 1, 0, "(nothing)"},
      {23, 0x0101, 0, "(nothing)"},
      {25, 0x0102, 0, "(nothing)"},
      {0x0001'0117, 0x0001'0101, 0, "(nothing)"},
  };
  for (const Case& c : cases) {
    const Outcome seen = Press(c.keyCodeArg, c.keyStateArg);
    EXPECT_EQ(seen.handled, c.handled) << std::hex << c.keyCodeArg << " / " << c.keyStateArg;
    EXPECT_EQ(seen.trace, c.trace) << std::hex << c.keyCodeArg << " / " << c.keyStateArg;
  }
}

TEST_F(KeyTranslation, FirstArgumentChangesNothing) {
  for (std::uint32_t first : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    EXPECT_EQ(Press(31, 1, first).trace, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑") << first;
  }
}

TEST_F(KeyTranslation, AbsentTargetGetsNothingAndModeIsUntouched) {
  Press(28);  // mode on
  Press(4);   // count 1
  recorder.targetPresent = false;
  for (std::uint32_t keyState : {1u, 2u}) {
    for (std::uint32_t keyCode = 0; keyCode <= 48; ++keyCode) {
      const Outcome seen = Press(keyCode, keyState);
      EXPECT_EQ(seen.handled, 0) << "key " << keyCode << " state " << keyState;
      EXPECT_EQ(seen.trace, "(nothing)") << "key " << keyCode << " state " << keyState;
    }
  }
  ExpectMode(1, 1);
}

TEST_F(KeyTranslation, TargetIsAskedExactlyOncePerEvent) {
  for (std::uint32_t keyCode : {0u, 23u, 28u, 31u, 49u}) {
    recorder.targetQueries = 0;
    Press(keyCode);
    EXPECT_EQ(recorder.targetQueries, 1) << "key " << keyCode;
  }
}

}  // namespace
