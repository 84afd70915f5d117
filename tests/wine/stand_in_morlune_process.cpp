#include "tests/wine/stand_in_morlune_process.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wine/run_program.h"

StandInMorluneProcess::StandInMorluneProcess() = default;

StandInMorluneProcess::~StandInMorluneProcess() {
  Close();
}

bool StandInMorluneProcess::Start(std::string& error) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&output_, &writeEnd, &inheritable, 0)) {
    error = "CreatePipe failed";
    return false;
  }
  SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string commandLine = "\"" + ProgramBesideThisOne("stand_in_morlune.exe") + "\"";
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process_);
  CloseHandle(writeEnd);
  if (!started) {
    error = "cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")";
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
  // Polled, and ended by the process's end rather than the pipe's: Wine's background programs
  // may inherit the write end and keep the pipe open.
  std::string pending;
  char buffer[512];
  for (;;) {
    const bool processEnded = WaitForSingleObject(process_.hProcess, 5) == WAIT_OBJECT_0;
    DWORD available = 0;
    DWORD got = 0;
    if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) break;
    if (available == 0) {
      if (processEnded) break;
      continue;
    }
    if (!ReadFile(output_, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    pending.append(buffer, got);
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
  if (process_.hProcess == nullptr) return;
  if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, 1);
  }
  if (reader_.joinable()) reader_.join();
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
  CloseHandle(output_);
  process_ = {};
  output_ = nullptr;
  window_ = nullptr;
}
