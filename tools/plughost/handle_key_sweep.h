#pragma once

// HandleKey on every key code in states 1 and 2 and on a spread of other states, upper halves
// and first arguments, with every result and every injected key looked at.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/plughost/check_context.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

// What a list of HandleKey calls did, call by call: for comparing two runs.
struct CallOutcome {
  std::uint32_t handled;
  std::string trace;
  bool operator==(const CallOutcome&) const = default;
};

// A quiet pause in which keys a plug-in sends late, from another thread, arrive before the next
// call: before a call is blamed for keys, and between calls whose keys are compared.
inline constexpr DWORD SettleMs = 1000;

// Waits `SettleMs`, then takes in what came meanwhile: late keys, noted as such in `plugin`.
void Settle(PluginSession& plugin);

// The calls of one sweep, in the order they are made.
std::vector<HandleKeyCall> SweepCalls();

// Makes the calls, reports one finding (or one per problem) in `context`, and returns the calls
// that returned non-zero. A call is blamed for keys only when, made again alone after a quiet
// pause, it sends them again; keys that no call sends again are noted in `plugin` as late keys
// and blamed on none.
std::vector<HandleKeyCall> SweepHandleKey(CheckContext& context,
                                          const std::vector<HandleKeyCall>& calls);

// The checks: every call of the sweep with a window of the target class, and with none.
void CheckHandleKeyWithTarget(CheckContext& context);
void CheckHandleKeyWithoutTarget(CheckContext& context);

// Each call made, and synced, on its own; keys that came outside the calls count for none.
std::vector<CallOutcome> Replay(PluginSession& plugin, const std::vector<HandleKeyCall>& calls);

}  // namespace plughost
