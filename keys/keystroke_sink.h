#pragma once

#include "keys/virtual_keys.h"

namespace keys {

// Where translated keystrokes go, and whether anyone is there to receive them. Plain function
// pointers rather than virtuals: the DLL has no C++ runtime to supply a vtable's support symbols,
// and tests bind a recorder through `context`.
struct KeystrokeSink {
  void* context;
  void (*KeyDown)(void* context, VirtualKey vk);
  void (*KeyUp)(void* context, VirtualKey vk);
  bool (*IsTargetPresent)(void* context);
};

}  // namespace keys
