#pragma once

// The plug-in's key map, written out by hand from its documentation rather than taken from the
// production tables, so that a wrong entry on either side shows up. Shared by the native tests,
// the end-to-end suite and its model.

#include <cstdint>

struct ExpectedKey {
  std::uint16_t keyCode;
  std::uint16_t keyState;
  const char* trace;  // digits with the control-digit mode off
};

inline constexpr ExpectedKey ExpectedKeyMap[] = {
    {0, 1, "Num0↓ Num0↑"},
    {1, 1, "Num1↓ Num1↑"},
    {2, 1, "Num2↓ Num2↑"},
    {3, 1, "Num3↓ Num3↑"},
    {4, 1, "Num4↓ Num4↑"},
    {5, 1, "Num5↓ Num5↑"},
    {6, 1, "Num6↓ Num6↑"},
    {7, 1, "Num7↓ Num7↑"},
    {8, 1, "Num8↓ Num8↑"},
    {9, 1, "Num9↓ Num9↑"},
    {23, 1, "F6↓ F6↑"},
    {24, 1, "F5↓ F5↑"},
    {25, 1, "F11↓ F11↑"},
    {26, 1, "F10↓ F10↑"},
    {27, 1, "F12↓ F12↑"},
    {28, 1, "(nothing)"},  // switches the control-digit mode
    {29, 1, "F9↓ F9↑"},
    {30, 1, "Ctrl↓ PgUp↓ PgUp↑ Ctrl↑"},
    {31, 1, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑"},
    {32, 1, "Shift↓ Num-↓ Num-↑ Shift↑"},
    {33, 1, "Shift↓ Num+↓ Num+↑ Shift↑"},
    {34, 1, "Num.↓ Num.↑"},
    {35, 1, "F6↓ F6↑"},
    {36, 1, "F5↓ F5↑"},
    {37, 1, "F2↓ F2↑"},
    {38, 1, "F7↓ F7↑"},
    {39, 1, "F2↓ F2↑"},
    {40, 1, "F8↓ F8↑"},
    {41, 1, "F3↓ F3↑"},
    {48, 1, "F4↓ F4↑"},
    {25, 2, "F11↓ F11↑"},
    {26, 2, "F10↓ F10↑"},
};

inline constexpr std::uint16_t ToggleModeKey = 28;

inline const ExpectedKey* FindExpectedKey(std::uint16_t keyCode, std::uint16_t keyState) {
  for (const ExpectedKey& key : ExpectedKeyMap) {
    if (key.keyCode == keyCode && key.keyState == keyState) return &key;
  }
  return nullptr;
}
