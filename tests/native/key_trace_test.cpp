// The readable forms of key events that tests and plughost print.

#include "tools/keytrace/key_trace.h"

#include <gtest/gtest.h>

namespace {

using keytrace::FormatChords;
using keytrace::FormatTrace;
using keytrace::KeyEvent;
using keytrace::KeyName;

constexpr std::uint8_t kCtrl = 0x11;
constexpr std::uint8_t kShift = 0x10;
constexpr std::uint8_t kPageDown = 0x22;
constexpr std::uint8_t kF6 = 0x75;
constexpr std::uint8_t kNum4 = 0x64;

TEST(KeyTrace, NamesTheKeysThePluginSends) {
  EXPECT_EQ(KeyName(kCtrl), "Ctrl");
  EXPECT_EQ(KeyName(kPageDown), "PgDn");
  EXPECT_EQ(KeyName(kNum4), "Num4");
  EXPECT_EQ(KeyName(0x7A), "F11");
  EXPECT_EQ(KeyName(0x6E), "Num.");
  EXPECT_EQ(KeyName('7'), "7");
  EXPECT_EQ(KeyName(0xFF), "VK_0xFF");
}

TEST(KeyTrace, TraceShowsEveryEventInOrder) {
  EXPECT_EQ(FormatTrace({}), "(nothing)");
  EXPECT_EQ(FormatTrace({{kCtrl, true}, {kPageDown, true}, {kPageDown, false}, {kCtrl, false}}),
            "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑");
}

TEST(KeyTrace, ChordsGroupWellNestedPresses) {
  struct Case {
    std::vector<KeyEvent> events;
    const char* chords;
  };
  const Case cases[] = {
      {{{kF6, true}, {kF6, false}}, "F6"},
      {{{kCtrl, true}, {kPageDown, true}, {kPageDown, false}, {kCtrl, false}}, "Ctrl+PgDn"},
      {{{kCtrl, true},
        {kShift, true},
        {kNum4, true},
        {kNum4, false},
        {kShift, false},
        {kCtrl, false}},
       "Ctrl+Shift+Num4"},
      {{{kF6, true}, {kF6, false}, {kCtrl, true}, {kNum4, true}, {kNum4, false}, {kCtrl, false}},
       "F6 Ctrl+Num4"},
      {{{kCtrl, true}, {kCtrl, false}}, "Ctrl"},  // a modifier tapped alone
  };
  for (const Case& c : cases) EXPECT_EQ(FormatChords(c.events), c.chords) << FormatTrace(c.events);
}

TEST(KeyTrace, ChordsFallBackToTheTraceWhenNotWellNested) {
  const std::vector<std::vector<KeyEvent>> odd = {
      {{kCtrl, true}, {kPageDown, true}, {kPageDown, false}},          // Ctrl left down
      {{kF6, true}},                                                   // never released
      {{kF6, false}},                                                  // released, never pressed
      {{kCtrl, true}, {kNum4, true}, {kCtrl, false}, {kNum4, false}},  // crossed
  };
  for (const auto& events : odd) EXPECT_EQ(FormatChords(events), FormatTrace(events));
}

TEST(KeyTrace, HeldKeysFollowPressesAcrossCalls) {
  keytrace::HeldKeys held;
  held.Apply({{kCtrl, true}, {kPageDown, true}, {kPageDown, false}});
  EXPECT_EQ(held.Down(), std::vector<std::uint8_t>{kCtrl});
  held.Apply({{kF6, true}, {kF6, false}, {kShift, true}});
  EXPECT_EQ(keytrace::KeyList(held.Down()), "Shift and Ctrl");
  held.Apply({{kCtrl, false}});  // a later call releases it
  held.Release(kShift);
  EXPECT_EQ(keytrace::KeyList(held.Down()), "(none)");
  held.Apply({{kF6, false}});  // released, never pressed: nothing held
  EXPECT_TRUE(held.Down().empty());
}

}  // namespace
