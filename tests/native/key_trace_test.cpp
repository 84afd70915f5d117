// The readable forms of key events that tests and plughost print.

#include "tools/keytrace/key_trace.h"

#include <gtest/gtest.h>

namespace {

using keytrace::FormatChords;
using keytrace::FormatTrace;
using keytrace::KeyEvent;
using keytrace::KeyName;

constexpr std::uint8_t Ctrl = 0x11;
constexpr std::uint8_t Shift = 0x10;
constexpr std::uint8_t PageDown = 0x22;
constexpr std::uint8_t F6 = 0x75;
constexpr std::uint8_t Num4 = 0x64;

TEST(KeyTrace, NamesTheKeysThePluginSends) {
  EXPECT_EQ(KeyName(Ctrl), "Ctrl");
  EXPECT_EQ(KeyName(PageDown), "PgDn");
  EXPECT_EQ(KeyName(Num4), "Num4");
  EXPECT_EQ(KeyName(0x7A), "F11");
  EXPECT_EQ(KeyName(0x6E), "Num.");
  EXPECT_EQ(KeyName('7'), "7");
  EXPECT_EQ(KeyName(0xFF), "VK_0xFF");
}

TEST(KeyTrace, TraceShowsEveryEventInOrder) {
  EXPECT_EQ(FormatTrace({}), "(nothing)");
  EXPECT_EQ(FormatTrace({{Ctrl, true}, {PageDown, true}, {PageDown, false}, {Ctrl, false}}),
            "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑");
}

TEST(KeyTrace, ChordsGroupWellNestedPresses) {
  struct Case {
    std::vector<KeyEvent> events;
    const char* chords;
  };
  const Case cases[] = {
      {{{F6, true}, {F6, false}}, "F6"},
      {{{Ctrl, true}, {PageDown, true}, {PageDown, false}, {Ctrl, false}}, "Ctrl+PgDn"},
      {{{Ctrl, true}, {Shift, true}, {Num4, true}, {Num4, false}, {Shift, false}, {Ctrl, false}},
       "Ctrl+Shift+Num4"},
      {{{F6, true}, {F6, false}, {Ctrl, true}, {Num4, true}, {Num4, false}, {Ctrl, false}},
       "F6 Ctrl+Num4"},
      {{{Ctrl, true}, {Ctrl, false}}, "Ctrl"},  // a modifier tapped alone
  };
  for (const Case& c : cases) EXPECT_EQ(FormatChords(c.events), c.chords) << FormatTrace(c.events);
}

TEST(KeyTrace, ChordsFallBackToTheTraceWhenNotWellNested) {
  const std::vector<std::vector<KeyEvent>> odd = {
      {{Ctrl, true}, {PageDown, true}, {PageDown, false}},         // Ctrl left down
      {{F6, true}},                                                // never released
      {{F6, false}},                                               // released, never pressed
      {{Ctrl, true}, {Num4, true}, {Ctrl, false}, {Num4, false}},  // crossed
  };
  for (const auto& events : odd) EXPECT_EQ(FormatChords(events), FormatTrace(events));
}

TEST(KeyTrace, HeldKeysFollowPressesAcrossCalls) {
  keytrace::HeldKeys held;
  held.Apply({{Ctrl, true}, {PageDown, true}, {PageDown, false}});
  EXPECT_EQ(held.Down(), std::vector<std::uint8_t>{Ctrl});
  held.Apply({{F6, true}, {F6, false}, {Shift, true}});
  EXPECT_EQ(keytrace::KeyList(held.Down()), "Shift and Ctrl");
  held.Apply({{Ctrl, false}});  // a later call releases it
  held.Release(Shift);
  EXPECT_EQ(keytrace::KeyList(held.Down()), "(none)");
  held.Apply({{F6, false}});  // released, never pressed: nothing held
  EXPECT_TRUE(held.Down().empty());
}

}  // namespace
