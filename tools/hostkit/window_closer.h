#pragma once

// Closes every window of one process that shows up while it runs, except those there before,
// and remembers each: a plug-in's Configure may open windows with nobody there to close them.
// Or it closes dialogs alone, open already or not, and leaves other windows be: for a caller
// whose own windows come and go meanwhile. Dialogs are cancelled where they have a Cancel
// button and confirmed otherwise, other windows get WM_CLOSE.

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
  enum class Closes { NewWindows, Dialogs };
  // For a process that is not known, such as one a child starts: no window belongs to process 0.
  static constexpr DWORD AnyProcess = 0;

  // Watches the windows of process `processId`; this one by default.
  explicit WindowCloser(DWORD processId = GetCurrentProcessId(),
                        Closes closes = Closes::NewWindows);
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
  const Closes closes_;
  std::set<HWND> before_;
  std::set<HWND> seen_;
  std::vector<ClosedWindow> closed_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace hostkit
