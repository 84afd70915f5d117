#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/hostkit/morlune_window.h"
#include "tools/plughost/key_argument.h"
#include "tools/plughost/timeout_argument.h"

namespace plughost {

// Exit statuses.
inline constexpr int Success = 0;
inline constexpr int PluginFailure =
    1;  // the DLL could not be loaded or used, or broke the contract
inline constexpr int UsageFailure = 2;  // a bad command line or bad input

// How deep check's event sequences go by default (--events): random events after the pairs.
inline constexpr std::uint32_t DefaultSequenceEvents = 2000;

// What only check takes.
struct CheckOptions {
  std::vector<std::string> paths;  // DLLs, and folders of them
  bool list = false;               // --list: the checks, not a run
  bool json = false;               // --json: one JSON document on standard output
  std::string junitPath;           // --junit FILE
  std::string include, exclude;    // --include/--exclude REGEX on check names
  bool warningsAsErrors = false;
  std::optional<std::uint32_t> seed;  // --seed N; a new one each run otherwise
  std::uint32_t events = DefaultSequenceEvents;
};

struct CommandLine {
  std::string dllPath;
  bool openTarget = false;                                // --target: a stand-in target window
  std::string targetClass = hostkit::MorluneWindowClass;  // --target-class: the class it has
  std::uint32_t timeoutMs = DefaultTimeoutMs;             // --timeout: the limit on every call
  bool timeoutGiven = false;
  CheckOptions check;
};

int Info(const CommandLine& commandLine);
int Press(const CommandLine& commandLine, const std::vector<KeyArgument>& keys);
int PressFromInput(const CommandLine& commandLine, std::FILE* input);
int Keymap(const CommandLine& commandLine);
int About(const CommandLine& commandLine);
int Check(const CommandLine& commandLine);

}  // namespace plughost
