#pragma once

// Morlune.dll in a real Win32 runtime, seen from outside: a stand-in host loads it by name and
// calls its exports through cdecl pointers; a low-level keyboard hook sees every key event it
// injects; stand-in Morlune windows, in this process and in another, receive them.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tests/wine/end_to_end/guarded_dll.h"
#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/keyboard_capture.h"
#include "tools/hostkit/plugin_library.h"

// How long one call into the DLL may take before the suite gives up on it.
inline constexpr DWORD CallLimitMs = 10000;

// One hook and one guard for the whole suite; a fresh copy of the DLL for every test.
class EndToEnd : public ::testing::Test {
 protected:
  struct Outcome {
    std::int32_t handled;
    std::string trace;
  };

  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  // A fresh copy of the DLL: the control-digit mode starts off again.
  void Reload();

  [[nodiscard]] GuardedDll dll() const { return {*guard, plugin->exports()}; }
  // Unguarded, for calls from another thread and for the register-level probe.
  [[nodiscard]] const hostkit::PluginExports& exports() const { return plugin->exports(); }

  // Everything injected since the last call, checked for what every event must carry.
  static std::string Injected();

  Outcome Press(std::uint32_t keyCode, std::uint32_t keyState = 1, std::uint32_t first = 0);

  static void ExpectNoKeyDown();

  static hostkit::KeyboardCapture* capture;
  static hostkit::CallGuard* guard;
  std::optional<hostkit::PluginLibrary> plugin;
};
