#include "tools/hostkit/window_closer.h"

#include <cstring>

namespace hostkit {
namespace {

constexpr DWORD PollIntervalMs = 20;

BOOL CALLBACK RecordExisting(HWND window, LPARAM windows) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): EnumWindows passes our pointer as an LPARAM.
  reinterpret_cast<std::set<HWND>*>(windows)->insert(window);
  return TRUE;
}

}  // namespace

WindowCloser::WindowCloser(DWORD processId, Closes closes)
    : processId_(processId), closes_(closes) {
  if (closes_ == Closes::NewWindows) {
    EnumWindows(&RecordExisting, reinterpret_cast<LPARAM>(&before_));
  }
  thread_ = std::thread([this] {
    while (!stop_) {
      EnumWindows(&Visit, reinterpret_cast<LPARAM>(this));
      Sleep(PollIntervalMs);
    }
  });
}

WindowCloser::~WindowCloser() {
  Stop();
}

std::vector<ClosedWindow> WindowCloser::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  const std::lock_guard lock(mutex_);
  return closed_;
}

BOOL CALLBACK WindowCloser::Visit(HWND window, LPARAM self) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): EnumWindows passes our pointer as an LPARAM.
  reinterpret_cast<WindowCloser*>(self)->Close(window);
  return TRUE;
}

bool WindowCloser::Watched(HWND window) const {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return (processId_ == AnyProcess || process == processId_) && IsWindowVisible(window);
}

void WindowCloser::Close(HWND window) {
  if (before_.contains(window) || !Watched(window)) return;
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  const bool dialog = std::strcmp(className, "#32770") == 0;
  if (!dialog && closes_ == Closes::Dialogs) return;
  if (seen_.insert(window).second) {
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    const std::lock_guard lock(mutex_);
    closed_.push_back({className, title});
  }
  // Posted again on every pass until the window is gone: a busy window may miss the first.
  if (!dialog) {
    PostMessageA(window, WM_CLOSE, 0, 0);
  } else if (HWND cancel = GetDlgItem(window, IDCANCEL);
             cancel != nullptr && IsWindowVisible(cancel)) {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  } else {
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
}

}  // namespace hostkit
