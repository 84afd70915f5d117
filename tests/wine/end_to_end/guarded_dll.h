#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/guarded_exports.h"
#include "tools/hostkit/guarded_result.h"
#include "tools/hostkit/plugin_library.h"

// The DLL's exports, each call bounded by the guard: a DLL that faults, hangs or breaks the
// calling convention fails the suite within seconds, with the call named, instead of crashing
// or hanging it.
class GuardedDll {
 public:
  GuardedDll(hostkit::CallGuard& guard, const hostkit::PluginExports& exports)
      : exports_(guard, exports) {}

  std::int32_t WhatKeysDoYouWant() { return Checked(exports_.WhatKeysDoYouWant()); }
  std::int32_t EnumerateProgrammableFunction() {
    return Checked(exports_.EnumerateProgrammableFunction({}));
  }
  std::int32_t AreYouInFocus() { return Checked(exports_.AreYouInFocus()); }
  std::int32_t Configure(HWND owner) { return Checked(exports_.Configure(owner)); }
  std::int32_t HandleKey(std::uint32_t first, std::uint32_t keyCode, std::uint32_t keyState) {
    return Checked(exports_.HandleKey(first, keyCode, keyState));
  }

 private:
  static std::int32_t Checked(const hostkit::GuardedResult& result) {
    EXPECT_EQ(result.breach, "");
    return static_cast<std::int32_t>(result.value);
  }

  hostkit::GuardedExports exports_;
};
