// plughost keymap: every key code in states 1 and 2 probed through HandleKey, printed as the
// README's Markdown table.

#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/fatal_report.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

int Keymap(const Session& session) {
  hostkit::StandInWindow target("Morlune stand-in", session.targetClass.c_str());
  // Swallowed: probing must not type into anything on the user's desktop.
  PluginSession plugin(FullPath(session.dllPath), session.timeoutMs,
                       hostkit::KeyboardCapture::Delivery::Swallow, &PrintFatal);
  std::string error;
  if (!plugin.Load(error)) {
    std::fprintf(stderr, "plughost: %s\n", error.c_str());
    return PluginFailure;
  }

  std::printf("| Key code | State | Keystrokes |\n|---|---|---|\n");
  bool broke = false;
  PluginSession::Injected injected;
  for (std::uint16_t keyState : {1, 2}) {
    for (std::uint32_t keyCode = 0; keyCode <= 0xFFFF; ++keyCode) {
      const auto code = static_cast<std::uint16_t>(keyCode);
      const GuardedResult handled = plugin.HandleKey(0, code, keyState);
      broke |= PrintBreach(handled.breach);
      // Unhandled codes are checked for stray keystrokes in bulk, below.
      if (handled.value == 0) continue;
      if (!plugin.Collect(injected)) {
        std::fprintf(stderr, "plughost: %s\n", NoHookMessage);
        return PluginFailure;
      }
      std::printf("| %u | %u | %s |\n", code, keyState,
                  DescribeOutcome(handled.value, injected.events).c_str());
      broke |= PrintBreach(HandleKeyBreach(hostkit::DescribeCall("HandleKey", {0, code, keyState}),
                                           handled.value, injected.leftDown));
      // A fresh copy for the next probe, so that a mode switched here cannot leak into it.
      if (!plugin.Load(error)) {
        std::fprintf(stderr, "plughost: %s\n", error.c_str());
        return PluginFailure;
      }
    }
    if (!plugin.Collect(injected)) {
      std::fprintf(stderr, "plughost: %s\n", NoHookMessage);
      return PluginFailure;
    }
    if (!injected.events.empty()) {
      std::fprintf(stderr, "plughost: unhandled keys in state %u sent %s\n", keyState,
                   keytrace::FormatTrace(injected.events).c_str());
      return PluginFailure;
    }
  }
  return broke ? PluginFailure : Success;
}

}  // namespace plughost
