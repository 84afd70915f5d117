#pragma once

#include "keys/keystroke_sink.h"

namespace platform {

// Key translation's output bound to the real keyboard input and the real target window.
extern const keys::KeystrokeSink WindowsKeystrokeSink;

}  // namespace platform
