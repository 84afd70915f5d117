// A key event reaching Morlune's window in a process of its own, as the real one runs.

#include <string>
#include <vector>

#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tests/wine/stand_in_morlune_process.h"
#include "tools/keytrace/key_trace.h"

namespace {

TEST_F(EndToEnd, OneEventTravelsToMorlunesWindowInAnotherProcess) {
  StandInMorluneProcess morlune;
  std::string error;
  ASSERT_TRUE(morlune.Start(error)) << error;
  EXPECT_EQ(dll().AreYouInFocus(), 1);

  EXPECT_EQ(Press(31).trace, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑");
  std::vector<keytrace::KeyEvent> received;
  ASSERT_TRUE(morlune.WaitForNextMarker(received)) << "the stand-in never saw the marker";
  EXPECT_EQ(keytrace::FormatTrace(received), "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑");

  morlune.Close();
  EXPECT_EQ(dll().AreYouInFocus(), 0);
  EXPECT_EQ(Press(31).handled, 0);
}

}  // namespace
