#pragma once

// Closes message boxes ("#32770" windows) with OK until stopped, for calls that show one in
// passing. It closes every such box of this process, whatever its caption, so a wrong caption
// fails the test that checks it instead of hanging the run; for another process (plughost) the
// caption "About" is what picks the box.

#include <windows.h>

#include <atomic>
#include <thread>

class DialogCloser {
 public:
  enum class Scope { ThisProcess, AboutBoxOfAnyProcess };

  explicit DialogCloser(Scope scope);
  ~DialogCloser();
  DialogCloser(const DialogCloser&) = delete;
  DialogCloser& operator=(const DialogCloser&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// One pass of the same: posts OK to every message box of this process.
void CloseDialogsOfThisProcess();
