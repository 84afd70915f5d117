#pragma once

#include "keys/virtual_keys.h"

namespace keys {

enum class KeyActionKind : std::uint8_t { None, Tap, Chord, Digit, ToggleMode };

// What one remote key does. `modifier` is used by Chord only; `key` by Tap, Chord and Digit.
struct KeyAction {
  KeyActionKind kind;
  VirtualKey modifier;
  VirtualKey key;

  static constexpr KeyAction None() { return {KeyActionKind::None, 0, 0}; }
  static constexpr KeyAction Tap(VirtualKey key) { return {KeyActionKind::Tap, 0, key}; }
  static constexpr KeyAction Chord(VirtualKey modifier, VirtualKey key) {
    return {KeyActionKind::Chord, modifier, key};
  }
  static constexpr KeyAction Digit(VirtualKey key) { return {KeyActionKind::Digit, 0, key}; }
  static constexpr KeyAction ToggleMode() { return {KeyActionKind::ToggleMode, 0, 0}; }
};

}  // namespace keys
