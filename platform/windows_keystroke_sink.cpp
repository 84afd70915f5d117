#include "platform/windows_keystroke_sink.h"

#include "platform/keyboard_input.h"
#include "platform/target_window.h"

namespace platform {
namespace {

void Down(void* /*context*/, keys::VirtualKey vk) {
  KeyDown(vk);
}
void Up(void* /*context*/, keys::VirtualKey vk) {
  KeyUp(vk);
}
bool Present(void* /*context*/) {
  return IsTargetPresent();
}

}  // namespace

constinit const keys::KeystrokeSink WindowsKeystrokeSink{nullptr, &Down, &Up, &Present};

}  // namespace platform
