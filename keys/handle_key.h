#pragma once

#include <cstdint>

#include "keys/ctrl_digit_mode.h"
#include "keys/keystroke_sink.h"

namespace keys {

using HandledFlag = std::int32_t;

// One remote-key event, with the arguments exactly as the host passes them: key code and key
// state are the low 16 bits of `keyCodeArg` and `keyStateArg`; `first` is never read.
// Returns 1 when the event was acted on, 0 when nothing was sent and no state changed.
HandledFlag HandleKey(CtrlDigitState& state, const KeystrokeSink& sink, std::uint32_t first,
                      std::uint32_t keyCodeArg, std::uint32_t keyStateArg);

}  // namespace keys
