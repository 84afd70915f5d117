#include "tests/wine/stand_in_morlune_process.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

StandInMorluneProcess::StandInMorluneProcess() = default;

StandInMorluneProcess::~StandInMorluneProcess() {
  Close();
}

bool StandInMorluneProcess::Start(std::string& error) {
  program_.emplace();
  if (!program_->Start("stand_in_morlune.exe", "", "", error)) {
    program_.reset();
    return false;
  }
  reader_ = std::thread([this] { ReadLines(); });

  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::seconds(60),
                         [this] { return window_ != nullptr || ended_; }) ||
      window_ == nullptr) {
    error = "the stand-in did not report its window";
    return false;
  }
  return true;
}

void StandInMorluneProcess::ReadLines() {
  std::string pending;
  for (;;) {
    std::string errors;
    const bool processEnded = program_->Poll(5, pending, errors);
    // What the stand-in says went wrong belongs in this program's log.
    if (!errors.empty()) std::fputs(errors.c_str(), stderr);
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      char message[32] = {};
      unsigned long value = 0;
      std::lock_guard lock(mutex_);
      if (std::sscanf(line.c_str(), "ready %lx", &value) == 1) {
        // The stand-in process prints its window handle as a number.
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        window_ = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
      } else if (std::sscanf(line.c_str(), "%31s %lx", message, &value) == 2) {
        const bool down = std::strstr(message, "DOWN") != nullptr;
        const auto vk = static_cast<std::uint8_t>(value);
        if (vk == VK_F24) {
          if (!down) ++markersSeen_;
        } else {
          keys_.push_back({vk, down});
        }
      }
      changed_.notify_all();
    }
    if (processEnded) break;
  }
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

bool StandInMorluneProcess::WaitForNextMarker(std::vector<keytrace::KeyEvent>& keys,
                                              DWORD timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return markersSeen_ > markersTaken_; })) {
    return false;
  }
  ++markersTaken_;
  keys = std::move(keys_);
  keys_.clear();
  return true;
}

void StandInMorluneProcess::Close() {
  if (!program_) return;
  if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
  if (!program_->WaitForEnd(30000)) program_->Terminate();
  if (reader_.joinable()) reader_.join();
  program_.reset();
  window_ = nullptr;
}
