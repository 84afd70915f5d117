// Which window counts as the target: none at all, or Morlune's behind another application.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tests/wine/end_to_end/message_pump.h"
#include "tools/hostkit/keyboard_capture.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/keytrace/key_trace.h"

namespace {

using hostkit::KeyboardCapture;
using hostkit::StandInWindow;

// Waits until `window` has received one more marker release, so that every key event injected
// before the marker has reached it.
bool PumpUntilNextMarker(StandInWindow& window, std::size_t& markersSeen) {
  return PumpMessagesUntil([&] {
    std::size_t markers = 0;
    for (const hostkit::ReceivedKey& key : window.received()) {
      if (key.vk == KeyboardCapture::MarkerKey && key.message == WM_KEYUP) ++markers;
    }
    if (markers <= markersSeen) return false;
    markersSeen = markers;
    return true;
  });
}

std::string ReceivedTrace(const StandInWindow& window) {
  std::vector<keytrace::KeyEvent> events;
  for (const hostkit::ReceivedKey& key : window.received()) {
    if (key.vk == KeyboardCapture::MarkerKey) continue;
    events.push_back({key.vk, key.message == WM_KEYDOWN || key.message == WM_SYSKEYDOWN});
  }
  return keytrace::FormatTrace(events);
}

TEST_F(EndToEnd, WithoutTargetNothingIsHandledOrSent) {
  EXPECT_EQ(dll().AreYouInFocus(), 0);
  for (std::uint32_t keyState : {1u, 2u}) {
    for (std::uint32_t keyCode = 0; keyCode <= 48; ++keyCode) {
      EXPECT_EQ(dll().HandleKey(0, keyCode, keyState), 0)
          << "key " << keyCode << " state " << keyState;
    }
  }
  EXPECT_EQ(Injected(), "(nothing)");
  ExpectNoKeyDown();
}

TEST_F(EndToEnd, TargetInTheBackgroundStillCountsAndKeysGoToTheFrontWindow) {
  StandInWindow morlune;
  StandInWindow front("Another application", "MorluneTestOtherApp");
  ASSERT_TRUE(morlune.valid() && front.valid());
  morlune.BringToFront();
  front.BringToFront();
  std::size_t frontMarkers = 0;

  EXPECT_EQ(dll().AreYouInFocus(), 1);
  EXPECT_EQ(Press(23).trace, "F6↓ F6↑");
  ASSERT_TRUE(PumpUntilNextMarker(front, frontMarkers)) << "the front window never saw the marker";
  EXPECT_EQ(ReceivedTrace(front), "F6↓ F6↑");
  EXPECT_EQ(ReceivedTrace(morlune), "(nothing)");
}

}  // namespace
