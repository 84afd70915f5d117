#include "keys/ctrl_digit_mode.h"

namespace keys {

void ToggleCtrlDigitMode(CtrlDigitState& state) {
  state.CtrlDigitMode = state.CtrlDigitMode == 0 ? 1 : 0;
  state.CtrlDigitCount = 0;
}

void SendDigit(CtrlDigitState& state, const KeystrokeSink& sink, VirtualKey digit) {
  const bool withCtrl = state.CtrlDigitMode == 1;
  if (withCtrl) sink.KeyDown(sink.context, VK_CONTROL);
  sink.KeyDown(sink.context, digit);
  sink.KeyUp(sink.context, digit);
  if (!withCtrl) return;
  sink.KeyUp(sink.context, VK_CONTROL);
  if (++state.CtrlDigitCount >= CtrlDigitLimit) {
    state.CtrlDigitCount = 0;
    state.CtrlDigitMode = 0;
  }
}

}  // namespace keys
