#include "platform/target_window.h"

#include <windows.h>

namespace platform {

HWND FindTargetWindow() {
  return FindWindowA(TargetWindowClass, nullptr);
}

bool IsTargetPresent() {
  return FindTargetWindow() != nullptr;
}

}  // namespace platform
