#pragma once

// The stand-in Morlune (stand_in_morlune.exe) as a separate process, with the key messages its
// window reports read back line by line.

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/piped_program.h"
#include "tools/keytrace/key_trace.h"

class StandInMorluneProcess {
 public:
  StandInMorluneProcess();
  ~StandInMorluneProcess();
  StandInMorluneProcess(const StandInMorluneProcess&) = delete;
  StandInMorluneProcess& operator=(const StandInMorluneProcess&) = delete;

  // Starts the process and waits until its window exists; false (with `error`) otherwise.
  bool Start(std::string& error);

  // Waits until the window has received the next marker release (F24 up, injected by a
  // KeyboardCapture::Sync), then returns the other key messages received before it.
  // False on time-out.
  bool WaitForNextMarker(std::vector<keytrace::KeyEvent>& keys, DWORD timeoutMs = 10000);

  // Closes the window and waits for the process to end.
  void Close();

 private:
  void ReadLines();

  std::optional<PipedProgram> program_;
  HWND window_ = nullptr;
  std::thread reader_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  int markersSeen_ = 0;
  int markersTaken_ = 0;
  std::vector<keytrace::KeyEvent> keys_;
};
