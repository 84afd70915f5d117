// The control-digit mode through the DLL, with Morlune's window there or not at each step.

#include <cstdint>
#include <optional>

#include "tests/ctrl_digit_scenarios.h"
#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tools/hostkit/stand_in_window.h"

namespace {

TEST_F(EndToEnd, ControlDigitScenarios) {
  for (const CtrlDigitScenario& scenario : CtrlDigitScenarios()) {
    Reload();
    std::optional<hostkit::StandInWindow> morlune;
    PlayCtrlDigitSteps(
        scenario,
        [&](bool present) {
          if (present && !morlune) morlune.emplace();
          if (!present) morlune.reset();
        },
        [&](std::uint16_t keyCode, std::uint16_t keyState) { return Press(keyCode, keyState); });
  }
}

}  // namespace
