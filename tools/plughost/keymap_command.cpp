// plughost keymap: every key code in states 1 and 2 probed through HandleKey, printed as the
// README's Markdown table.

#include "tools/hostkit/stand_in_window.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/fatal_report.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

namespace {

int ProbeKeymap(const Session& session) {
  hostkit::StandInWindow target(hostkit::StandInTitle, session.targetClass.c_str());
  // Swallowed: probing must not type into anything on the user's desktop.
  PluginSession plugin(session.dllPath, session.timeoutMs,
                       hostkit::KeyboardCapture::Delivery::Swallow);
  if (!LoadOrSayWhyNot(plugin)) return PluginFailure;

  std::printf("| Key code | State | Keystrokes |\n|---|---|---|\n");
  bool broke = false;
  PluginSession::Injected injected;
  for (std::uint16_t keyState : {1, 2}) {
    for (std::uint32_t keyCode = 0; keyCode <= 0xFFFF; ++keyCode) {
      const auto code = static_cast<std::uint16_t>(keyCode);
      const GuardedResult handled = plugin.dll().HandleKey(0, code, keyState);
      broke |= PrintBreach(handled.breach);
      // Unhandled codes are checked for stray keystrokes in bulk, below.
      if (handled.value == 0) continue;
      if (!plugin.Collect(injected)) return PrintError(NoHookMessage), PluginFailure;
      std::printf("| %u | %u | %s |\n", code, keyState,
                  DescribeOutcome(handled.value, injected.events).c_str());
      broke |= PrintBreach(
          HandleKeyBreach(Describe({0, code, keyState}), handled.value, injected.leftDown));
      // A fresh copy for the next probe, so that a mode switched here cannot leak into it.
      if (!LoadOrSayWhyNot(plugin)) return PluginFailure;
    }
    if (!plugin.Collect(injected)) return PrintError(NoHookMessage), PluginFailure;
    if (!injected.events.empty()) {
      PrintError("unhandled keys in state " + std::to_string(keyState) + " sent " +
                 keytrace::FormatTrace(injected.events));
      return PluginFailure;
    }
  }
  return broke ? PluginFailure : Success;
}

}  // namespace

int Keymap(const Session& session) {
  return Supervised([&] { return ProbeKeymap(session); });
}

}  // namespace plughost
