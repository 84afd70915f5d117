#pragma once

#include <cstdint>

// Injects one key event into the system's keyboard input, with no scan code and no
// extended-key flag, so Page Up/Down arrive exactly as a plain virtual key.
namespace platform {

void KeyDown(std::uint8_t vk);
void KeyUp(std::uint8_t vk);

}  // namespace platform
