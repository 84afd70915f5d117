#include "tools/hostkit/stand_in_window.h"

namespace hostkit {
namespace {

bool RegisterWindowClass(const char* name, WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  // Windows takes a system colour index + 1 in place of a brush here.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = name;
  return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

StandInWindow::StandInWindow(const char* title, const char* windowClass) {
  if (!RegisterWindowClass(windowClass, &WindowProcedure)) return;
  window_ = CreateWindowExA(0, windowClass, title, WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, nullptr,
                            nullptr, GetModuleHandleA(nullptr), this);
}

StandInWindow::~StandInWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void StandInWindow::BringToFront() {
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(window_);
}

LRESULT CALLBACK StandInWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_NCCREATE) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_NCCREATE passes its CREATESTRUCTA so.
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the pointer stored above, read back.
  auto* self = reinterpret_cast<StandInWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      if (self != nullptr) {
        const ReceivedKey key{message, static_cast<std::uint8_t>(wParam)};
        self->received_.push_back(key);
        if (self->onKey) self->onKey(key);
      }
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      if (self != nullptr) {
        self->window_ = nullptr;
        if (self->onDestroyed) self->onDestroyed();
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace hostkit
