// Stands in for Morlune: opens a top-level window of its class, takes the focus, and reports on
// standard output every key message the window receives, one line each:
//   ready <window handle in hex>
//   WM_KEYDOWN <vk in hex>
// It ends when its window is closed (WM_CLOSE from the test, for instance).

#include <cstdio>

#include "tools/hostkit/stand_in_window.h"

namespace {

const char* MessageName(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
      return "WM_KEYDOWN";
    case WM_KEYUP:
      return "WM_KEYUP";
    case WM_SYSKEYDOWN:
      return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP:
      return "WM_SYSKEYUP";
    default:
      return "WM_OTHER";
  }
}

}  // namespace

int main(int argc, char** argv) {
  hostkit::StandInWindow window(argc > 1 ? argv[1] : hostkit::StandInTitle);
  if (!window.valid()) {
    std::fprintf(stderr, "cannot create the window (error %lu)\n", GetLastError());
    return 1;
  }
  window.onKey = [](const hostkit::ReceivedKey& key) {
    std::printf("%s %02X\n", MessageName(key.message), key.vk);
    std::fflush(stdout);
  };
  window.onDestroyed = [] { PostQuitMessage(0); };
  window.BringToFront();
  std::printf("ready %lX\n",
              static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window.handle())));
  std::fflush(stdout);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
