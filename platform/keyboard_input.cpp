#include "platform/keyboard_input.h"

#include <windows.h>

namespace platform {

void KeyDown(std::uint8_t vk) {
  keybd_event(vk, 0, 0, 0);
}

void KeyUp(std::uint8_t vk) {
  keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
}

}  // namespace platform
