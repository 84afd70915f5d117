#pragma once

// The Windows virtual-key codes the plug-in sends, under their Windows names. Kept apart from
// <windows.h> (which defines the same names as macros) so key translation builds anywhere;
// never include both in one translation unit.

#include <cstdint>

namespace keys {

using VirtualKey = std::uint8_t;

inline constexpr VirtualKey VK_SHIFT = 0x10;
inline constexpr VirtualKey VK_CONTROL = 0x11;
inline constexpr VirtualKey VK_PRIOR = 0x21;
inline constexpr VirtualKey VK_NEXT = 0x22;
inline constexpr VirtualKey VK_NUMPAD0 = 0x60;
inline constexpr VirtualKey VK_NUMPAD1 = 0x61;
inline constexpr VirtualKey VK_NUMPAD2 = 0x62;
inline constexpr VirtualKey VK_NUMPAD3 = 0x63;
inline constexpr VirtualKey VK_NUMPAD4 = 0x64;
inline constexpr VirtualKey VK_NUMPAD5 = 0x65;
inline constexpr VirtualKey VK_NUMPAD6 = 0x66;
inline constexpr VirtualKey VK_NUMPAD7 = 0x67;
inline constexpr VirtualKey VK_NUMPAD8 = 0x68;
inline constexpr VirtualKey VK_NUMPAD9 = 0x69;
inline constexpr VirtualKey VK_ADD = 0x6B;
inline constexpr VirtualKey VK_SUBTRACT = 0x6D;
inline constexpr VirtualKey VK_DECIMAL = 0x6E;
inline constexpr VirtualKey VK_F2 = 0x71;
inline constexpr VirtualKey VK_F3 = 0x72;
inline constexpr VirtualKey VK_F4 = 0x73;
inline constexpr VirtualKey VK_F5 = 0x74;
inline constexpr VirtualKey VK_F6 = 0x75;
inline constexpr VirtualKey VK_F7 = 0x76;
inline constexpr VirtualKey VK_F8 = 0x77;
inline constexpr VirtualKey VK_F9 = 0x78;
inline constexpr VirtualKey VK_F10 = 0x79;
inline constexpr VirtualKey VK_F11 = 0x7A;
inline constexpr VirtualKey VK_F12 = 0x7B;

}  // namespace keys
