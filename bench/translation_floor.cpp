// Built with the same flags as the shipped key translation, so the comparison is like for like.

#include "bench/event_kinds.h"
#include "keys/remote_key_table.h"

namespace bench {

using keys::CtrlDigitState;
using keys::HandledFlag;
using keys::KeystrokeSink;

HandledFlag FloorLookUpOnly(CtrlDigitState& /*state*/, const KeystrokeSink& sink,
                            std::uint32_t /*first*/, std::uint32_t keyCodeArg,
                            std::uint32_t /*keyStateArg*/) {
  if (!sink.IsTargetPresent(sink.context)) return 0;
  const keys::KeyAction action = keys::RemoteKeyTable[static_cast<keys::KeyCode>(keyCodeArg)];
  return action.kind == keys::KeyActionKind::None ? 0 : 1;
}

HandledFlag FloorTap(CtrlDigitState& /*state*/, const KeystrokeSink& sink, std::uint32_t /*first*/,
                     std::uint32_t keyCodeArg, std::uint32_t /*keyStateArg*/) {
  if (!sink.IsTargetPresent(sink.context)) return 0;
  const keys::KeyAction action = keys::RemoteKeyTable[static_cast<keys::KeyCode>(keyCodeArg)];
  sink.KeyDown(sink.context, action.key);
  sink.KeyUp(sink.context, action.key);
  return 1;
}

HandledFlag FloorChord(CtrlDigitState& /*state*/, const KeystrokeSink& sink,
                       std::uint32_t /*first*/, std::uint32_t keyCodeArg,
                       std::uint32_t /*keyStateArg*/) {
  if (!sink.IsTargetPresent(sink.context)) return 0;
  const keys::KeyAction action = keys::RemoteKeyTable[static_cast<keys::KeyCode>(keyCodeArg)];
  sink.KeyDown(sink.context, action.modifier);
  sink.KeyDown(sink.context, action.key);
  sink.KeyUp(sink.context, action.key);
  sink.KeyUp(sink.context, action.modifier);
  return 1;
}

HandledFlag FloorCtrlTap(CtrlDigitState& /*state*/, const KeystrokeSink& sink,
                         std::uint32_t /*first*/, std::uint32_t keyCodeArg,
                         std::uint32_t /*keyStateArg*/) {
  if (!sink.IsTargetPresent(sink.context)) return 0;
  const keys::KeyAction action = keys::RemoteKeyTable[static_cast<keys::KeyCode>(keyCodeArg)];
  sink.KeyDown(sink.context, keys::VK_CONTROL);
  sink.KeyDown(sink.context, action.key);
  sink.KeyUp(sink.context, action.key);
  sink.KeyUp(sink.context, keys::VK_CONTROL);
  return 1;
}

namespace {

void IgnoreKey(void* /*context*/, keys::VirtualKey /*vk*/) {}
bool TargetPresent(void* /*context*/) {
  return true;
}
bool TargetAbsent(void* /*context*/) {
  return false;
}

}  // namespace

constinit const KeystrokeSink NullSink{nullptr, &IgnoreKey, &IgnoreKey, &TargetPresent};
constinit const KeystrokeSink NullSinkNoTarget{nullptr, &IgnoreKey, &IgnoreKey, &TargetAbsent};

}  // namespace bench
