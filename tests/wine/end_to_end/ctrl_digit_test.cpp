// The control-digit mode through the DLL, with Morlune's window there or not at each step.

#include <cstddef>
#include <optional>

#include "tests/ctrl_digit_scenarios.h"
#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tools/hostkit/stand_in_window.h"

namespace {

TEST_F(EndToEnd, ControlDigitScenarios) {
  for (const CtrlDigitScenario& scenario : CtrlDigitScenarios()) {
    SCOPED_TRACE(scenario.name);
    Reload();
    std::optional<hostkit::StandInWindow> morlune;
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
      const CtrlDigitStep& step = scenario.steps[i];
      if (step.targetPresent && !morlune) morlune.emplace();
      if (!step.targetPresent) morlune.reset();
      const Outcome seen = Press(step.keyCode, step.keyState);
      EXPECT_EQ(seen.handled, step.handled)
          << "step " << i << ": key " << step.keyCode << " state " << step.keyState;
      EXPECT_EQ(seen.trace, step.trace)
          << "step " << i << ": key " << step.keyCode << " state " << step.keyState;
    }
  }
}

}  // namespace
