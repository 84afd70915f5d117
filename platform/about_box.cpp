#include "platform/about_box.h"

#include <windows.h>

namespace platform {

int ShowAboutBox(HWND owner, const char* text, const char* caption) {
  return MessageBoxA(owner, text, caption, MB_OK);
}

}  // namespace platform
