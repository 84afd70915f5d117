#pragma once

#include <cstdint>

#include "keys/key_action.h"

namespace keys {

using KeyCode = std::uint16_t;
using KeyState = std::uint16_t;

// What the host's key states mean is its own; the plug-in acts on these two only.
inline constexpr KeyState MainKeyState = 1;    // RemoteKeyTable
inline constexpr KeyState SecondKeyState = 2;  // SecondStateKeyTable

inline constexpr KeyCode RemoteKeyCount = 49;  // codes 0..48; anything above is None

// Key state 1, indexed by key code. The tables are not `inline`: a constant with internal
// linkage is one AddressSanitizer surrounds with red zones, so a read past its end fails the
// native tests instead of finding a zero (None) there by chance.
constexpr KeyAction RemoteKeyTable[RemoteKeyCount] = {
    KeyAction::Digit(VK_NUMPAD0),  // 0
    KeyAction::Digit(VK_NUMPAD1),
    KeyAction::Digit(VK_NUMPAD2),
    KeyAction::Digit(VK_NUMPAD3),
    KeyAction::Digit(VK_NUMPAD4),
    KeyAction::Digit(VK_NUMPAD5),
    KeyAction::Digit(VK_NUMPAD6),
    KeyAction::Digit(VK_NUMPAD7),
    KeyAction::Digit(VK_NUMPAD8),
    KeyAction::Digit(VK_NUMPAD9),
    KeyAction::None(),  // 10
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),  // 20
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::Tap(VK_F6),
    KeyAction::Tap(VK_F5),
    KeyAction::Tap(VK_F11),
    KeyAction::Tap(VK_F10),
    KeyAction::Tap(VK_F12),
    KeyAction::ToggleMode(),
    KeyAction::Tap(VK_F9),
    KeyAction::Chord(VK_CONTROL, VK_PRIOR),  // 30
    KeyAction::Chord(VK_CONTROL, VK_NEXT),
    KeyAction::Chord(VK_SHIFT, VK_SUBTRACT),
    KeyAction::Chord(VK_SHIFT, VK_ADD),
    KeyAction::Tap(VK_DECIMAL),
    KeyAction::Tap(VK_F6),
    KeyAction::Tap(VK_F5),
    KeyAction::Tap(VK_F2),
    KeyAction::Tap(VK_F7),
    KeyAction::Tap(VK_F2),
    KeyAction::Tap(VK_F8),  // 40
    KeyAction::Tap(VK_F3),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::None(),
    KeyAction::Tap(VK_F4),  // 48
};

struct SecondStateEntry {
  KeyCode keyCode;
  KeyAction action;
};

// Key state 2: these two codes only; they never reach the control-digit mode.
constexpr SecondStateEntry SecondStateKeyTable[] = {
    {25, KeyAction::Tap(VK_F11)},
    {26, KeyAction::Tap(VK_F10)},
};

}  // namespace keys
