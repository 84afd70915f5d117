#pragma once

// A model of the plug-in as its user sees it, built on the hand-written key map: for each event,
// whether it is handled and which keystrokes come out. Used to check the real DLL over long
// random runs.

#include <cstdint>
#include <string>

#include "tests/expected_key_map.h"

class PluginModel {
 public:
  struct Result {
    std::int32_t handled;
    std::string trace;
  };

  Result HandleKey(bool targetPresent, std::uint32_t keyCodeArg, std::uint32_t keyStateArg) {
    const auto keyCode = static_cast<std::uint16_t>(keyCodeArg & 0xFFFF);
    const auto keyState = static_cast<std::uint16_t>(keyStateArg & 0xFFFF);
    const ExpectedKey* key = targetPresent ? FindExpectedKey(keyCode, keyState) : nullptr;
    if (key == nullptr) return {0, "(nothing)"};
    if (keyState == 1 && keyCode == ToggleModeKey) {
      modeOn = !modeOn;
      ctrlDigits = 0;
      return {1, key->trace};
    }
    const bool isDigit = keyState == 1 && keyCode <= 9;
    if (!isDigit || !modeOn) return {1, key->trace};
    if (++ctrlDigits == 3) {
      modeOn = false;
      ctrlDigits = 0;
    }
    return {1, std::string("Ctrl↓ ") + key->trace + " Ctrl↑"};
  }

  bool modeOn = false;
  int ctrlDigits = 0;
};
