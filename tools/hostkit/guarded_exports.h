#pragma once

// The five exports of a plug-in, each called under its own name through whatever guards the
// calls: an in-process call guard, or a worker process.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/guarded_result.h"
#include "tools/hostkit/plugin_library.h"

namespace hostkit {

class GuardedExports {
 public:
  // Calls the export at `index` of PluginExportNames with `arguments`.
  using ExportCall =
      std::function<GuardedResult(std::size_t index, std::initializer_list<std::uint32_t>)>;

  explicit GuardedExports(ExportCall call) : call_(std::move(call)) {}
  // Through `guard`, in this process.
  GuardedExports(CallGuard& guard, const PluginExports& exports);

  GuardedResult WhatKeysDoYouWant();
  GuardedResult AreYouInFocus();
  GuardedResult EnumerateProgrammableFunction(std::initializer_list<std::uint32_t> arguments);
  GuardedResult Configure(HWND owner);
  GuardedResult HandleKey(std::uint32_t first, std::uint32_t keyCode, std::uint32_t keyState);

 private:
  ExportCall call_;
};

}  // namespace hostkit
