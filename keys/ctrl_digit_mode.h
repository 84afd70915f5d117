#pragma once

#include <cstdint>

#include "keys/keystroke_sink.h"

namespace keys {

inline constexpr std::int32_t CtrlDigitLimit = 3;

// The plug-in's only state. Aggregate with no constructor, so a global instance lives in
// zeroed storage and nothing runs at load.
struct CtrlDigitState {
  std::int32_t CtrlDigitMode;   // 1 = on; any other value counts as off
  std::int32_t CtrlDigitCount;  // Ctrl-wrapped digits since the mode went on
};

void ToggleCtrlDigitMode(CtrlDigitState& state);

// Plays one keypad digit, wrapped in Ctrl while the mode is on.
void SendDigit(CtrlDigitState& state, const KeystrokeSink& sink, VirtualKey digit);

}  // namespace keys
