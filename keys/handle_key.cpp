#include "keys/handle_key.h"

#include "keys/remote_key_table.h"

namespace keys {
namespace {

KeyAction LookUp(KeyCode code, KeyState keyState) {
  if (keyState == MainKeyState) {
    return code < RemoteKeyCount ? RemoteKeyTable[code] : KeyAction::None();
  }
  if (keyState == SecondKeyState) {
    for (const SecondStateEntry& entry : SecondStateKeyTable) {
      if (entry.keyCode == code) return entry.action;
    }
  }
  return KeyAction::None();
}

}  // namespace

HandledFlag HandleKey(CtrlDigitState& state, const KeystrokeSink& sink, std::uint32_t /*first*/,
                      std::uint32_t keyCodeArg, std::uint32_t keyStateArg) {
  if (!sink.IsTargetPresent(sink.context)) return 0;

  const KeyAction action =
      LookUp(static_cast<KeyCode>(keyCodeArg), static_cast<KeyState>(keyStateArg));
  switch (action.kind) {
    case KeyActionKind::None:
      return 0;
    case KeyActionKind::Tap:
      sink.KeyDown(sink.context, action.key);
      sink.KeyUp(sink.context, action.key);
      return 1;
    case KeyActionKind::Chord:
      sink.KeyDown(sink.context, action.modifier);
      sink.KeyDown(sink.context, action.key);
      sink.KeyUp(sink.context, action.key);
      sink.KeyUp(sink.context, action.modifier);
      return 1;
    case KeyActionKind::Digit:
      SendDigit(state, sink, action.key);
      return 1;
    case KeyActionKind::ToggleMode:
      ToggleCtrlDigitMode(state);
      return 1;
  }
  return 0;
}

}  // namespace keys
