#pragma once

// Closes every window of one process that shows up while it runs, except those there before,
// and remembers each: a plug-in's Configure may open windows with nobody there to close them.
// Dialogs are cancelled where they have a Cancel button and confirmed otherwise, other windows
// get WM_CLOSE.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace hostkit {

struct ClosedWindow {
  std::string className;
  std::string title;
};

class WindowCloser {
 public:
  // Watches the windows of process `processId`; this one by default.
  explicit WindowCloser(DWORD processId = GetCurrentProcessId());
  ~WindowCloser();
  WindowCloser(const WindowCloser&) = delete;
  WindowCloser& operator=(const WindowCloser&) = delete;

  // Stops closing and returns every window it closed, in the order they appeared.
  std::vector<ClosedWindow> Stop();

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self);
  void Close(HWND window);
  [[nodiscard]] bool Watched(HWND window) const;

  const DWORD processId_;
  std::set<HWND> before_;
  std::set<HWND> seen_;
  std::vector<ClosedWindow> closed_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace hostkit
