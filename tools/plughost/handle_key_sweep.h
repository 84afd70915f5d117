#pragma once

// HandleKey on every key code in states 1 and 2 and on a spread of other states, upper halves
// and first arguments, with every result and every injected key looked at.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/plughost/check_report.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

struct HandleKeyCall {
  std::uint32_t first, keyCode, keyState;
  bool operator==(const HandleKeyCall&) const = default;
};

// What a list of HandleKey calls did, call by call: for comparing two runs.
struct CallOutcome {
  std::uint32_t handled;
  std::string trace;
  bool operator==(const CallOutcome&) const = default;
};

// "HandleKey(0, 7, 1)".
std::string Describe(const HandleKeyCall& call);

// The calls of one sweep, in the order they are made.
std::vector<HandleKeyCall> SweepCalls();

// Makes the calls, reports one line (or one per problem) under `check`, and returns the calls
// that returned non-zero.
std::vector<HandleKeyCall> SweepHandleKey(PluginSession& plugin,
                                          const std::vector<HandleKeyCall>& calls,
                                          const std::string& check, CheckReport& report);

// Each call made, and synced, on its own.
std::vector<CallOutcome> Replay(PluginSession& plugin, const std::vector<HandleKeyCall>& calls);

}  // namespace plughost
