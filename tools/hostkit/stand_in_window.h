#pragma once

// A top-level window of Morlune's class standing in for the application:
// the plug-in finds it exactly as it would find Morlune. It records the key messages it gets.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/hostkit/morlune_window.h"

namespace hostkit {

inline constexpr const char* StandInTitle = "Morlune stand-in";

struct ReceivedKey {
  UINT message;  // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP
  std::uint8_t vk;
};

class StandInWindow {
 public:
  // Creates the window on the calling thread, which must pump its messages. Another class
  // makes a window that is not Morlune's, for tests that need one in front of it.
  explicit StandInWindow(const char* title = StandInTitle,
                         const char* windowClass = MorluneWindowClass);
  ~StandInWindow();
  StandInWindow(const StandInWindow&) = delete;
  StandInWindow& operator=(const StandInWindow&) = delete;

  [[nodiscard]] HWND handle() const { return window_; }
  [[nodiscard]] bool valid() const { return window_ != nullptr; }

  // Shows the window and asks for the foreground and the keyboard focus.
  void BringToFront();

  [[nodiscard]] const std::vector<ReceivedKey>& received() const { return received_; }
  void ClearReceived() { received_.clear(); }

  // Called for every key message as it arrives.
  std::function<void(const ReceivedKey& key)> onKey;
  // Called when the window has been destroyed (closed by the user or by WM_CLOSE).
  std::function<void()> onDestroyed;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  std::vector<ReceivedKey> received_;
};

}  // namespace hostkit
