// The key map as the DLL applies it: every row, everything outside it, and which bits of the
// arguments count.

#include <cstdint>
#include <ios>
#include <utility>
#include <vector>

#include "tests/expected_key_map.h"
#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tools/hostkit/stand_in_window.h"

namespace {

using hostkit::StandInWindow;

TEST_F(EndToEnd, EveryRowOfBothKeyTables) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  for (const ExpectedKey& row : ExpectedKeyMap) {
    Reload();
    const Outcome seen = Press(row.keyCode, row.keyState);
    EXPECT_EQ(seen.handled, 1) << "key " << row.keyCode << " state " << row.keyState;
    EXPECT_EQ(seen.trace, row.trace) << "key " << row.keyCode << " state " << row.keyState;
  }
}

TEST_F(EndToEnd, EverythingElseIsIgnored) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
  for (std::uint32_t keyCode = 0; keyCode <= 48; ++keyCode) {
    for (std::uint32_t keyState : {0u, 2u, 3u, 0x0101u, 0x0102u, 0xFF01u, 0xFFFFu}) {
      if (!FindExpectedKey(static_cast<std::uint16_t>(keyCode),
                           static_cast<std::uint16_t>(keyState))) {
        events.emplace_back(keyCode, keyState);
      }
    }
    if (!FindExpectedKey(static_cast<std::uint16_t>(keyCode), 1)) events.emplace_back(keyCode, 1);
  }
  for (std::uint32_t keyCode = 49; keyCode <= 0xFFFF; ++keyCode) {
    events.emplace_back(keyCode, 1);
    events.emplace_back(keyCode, 2);
  }

  for (auto [keyCode, keyState] : events) {
    ASSERT_EQ(dll().HandleKey(0, keyCode, keyState), 0)
        << "key " << keyCode << " state " << keyState;
  }
  EXPECT_EQ(Injected(), "(nothing)");
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑") << "key 28 in another state switched the mode";
}

TEST_F(EndToEnd, OnlyTheLowHalvesOfKeyCodeAndStateCount) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  struct Case {
    std::uint32_t first, keyCodeArg, keyStateArg;
    std::int32_t handled;
    const char* trace;
  };
  const Case cases[] = {
      {0, 0x0001'0017, 1, 1, "F6↓ F6↑"},
      {0, 23, 0x0002'0001, 1, "F6↓ F6↑"},
      {0xDEADBEEF, 0xFFFF'001F, 0xFFFF'0001, 1, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑"},
      {0, 0x0001'0019, 0x0003'0002, 1, "F11↓ F11↑"},
      {0, 0x0001'0017, 0x0001'0000, 0, "(nothing)"},
      {0, 0x0002'0031, 1, 0, "(nothing)"},
      // Bits 8 to 15 are part of the code and the state.
      {0, 0x0117, 1, 0, "(nothing)"},
      {0, 23, 0x0101, 0, "(nothing)"},
      {0, 25, 0x0102, 0, "(nothing)"},
  };
  for (const Case& c : cases) {
    const Outcome seen = Press(c.keyCodeArg, c.keyStateArg, c.first);
    EXPECT_EQ(seen.handled, c.handled) << std::hex << c.keyCodeArg << " / " << c.keyStateArg;
    EXPECT_EQ(seen.trace, c.trace) << std::hex << c.keyCodeArg << " / " << c.keyStateArg;
  }
}

}  // namespace
