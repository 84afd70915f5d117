#pragma once

// The five exports of a loaded plug-in, each called through a call guard under its own name.

#include <windows.h>

#include <cstdint>
#include <initializer_list>

#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/plugin_library.h"

namespace hostkit {

class GuardedExports {
 public:
  GuardedExports(CallGuard& guard, const PluginExports& exports)
      : guard_(guard), exports_(exports) {}

  GuardedResult WhatKeysDoYouWant();
  GuardedResult AreYouInFocus();
  GuardedResult EnumerateProgrammableFunction(std::initializer_list<std::uint32_t> arguments);
  GuardedResult Configure(HWND owner);
  GuardedResult HandleKey(std::uint32_t first, std::uint32_t keyCode, std::uint32_t keyState);

 private:
  CallGuard& guard_;
  const PluginExports& exports_;
};

}  // namespace hostkit
