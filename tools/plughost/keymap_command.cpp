// plughost keymap: every key code in states 1 and 2 probed through HandleKey, printed as the
// README's Markdown table.

#include "tools/hostkit/stand_in_window.h"
#include "tools/plughost/command_errors.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

namespace {

int ProbeKeymap(const CommandLine& commandLine) {
  hostkit::StandInWindow target(hostkit::StandInTitle, commandLine.targetClass.c_str());
  // Swallowed: probing must not type into anything on the user's desktop.
  PluginSession plugin(commandLine.dllPath, commandLine.timeoutMs,
                       hostkit::KeyboardCapture::Delivery::Swallow);
  if (!LoadOrSayWhyNot(plugin)) return PluginFailure;

  std::printf("| Key code | State | Keystrokes |\n|---|---|---|\n");
  bool broke = false;
  PluginSession::Injected injected;
  const auto unhandledSent = [&](std::uint16_t keyState,
                                 const std::vector<keytrace::KeyEvent>& keys) {
    PrintError("unhandled keys in state " + std::to_string(keyState) + " sent " +
               keytrace::FormatTrace(keys));
    return PluginFailure;
  };
  for (std::uint16_t keyState : {1, 2}) {
    // In runs up to the next handled code, so that every code is one call and no more.
    for (std::uint32_t next = 0; next <= 0xFFFF;) {
      std::vector<HandleKeyCall> calls;
      for (std::uint32_t code = next; code <= 0xFFFF && calls.size() < hostkit::worker::MaxCalls;
           ++code) {
        calls.push_back({0, code, keyState});
      }
      const std::vector<GuardedResult> results =
          plugin.HandleKeys(calls, hostkit::worker::StopAt::Handled);
      for (const GuardedResult& result : results) broke |= PrintBreach(result.breach);
      next += static_cast<std::uint32_t>(results.size());
      const std::size_t last = results.size() - 1;
      if (results[last].value == 0) continue;
      if (!plugin.Collect(injected)) return PrintError(NoHookMessage), PluginFailure;
      std::vector<keytrace::KeyEvent> own;
      std::vector<keytrace::KeyEvent> before;
      for (std::size_t e = 0; e < injected.events.size(); ++e) {
        (injected.callIndex[e] == last ? own : before).push_back(injected.events[e]);
      }
      if (!before.empty()) return unhandledSent(keyState, before);
      const HandleKeyCall& handled = calls[last];
      std::printf("| %u | %u | %s |\n", handled.keyCode, keyState,
                  DescribeOutcome(results[last].value, own).c_str());
      broke |=
          PrintBreach(HandleKeyBreach(Describe(handled), results[last].value, injected.leftDown));
      // A fresh copy for the next probe, so that a mode switched here cannot leak into it.
      if (!LoadOrSayWhyNot(plugin)) return PluginFailure;
    }
    if (!plugin.Collect(injected)) return PrintError(NoHookMessage), PluginFailure;
    if (!injected.events.empty()) return unhandledSent(keyState, injected.events);
  }
  return broke ? PluginFailure : Success;
}

}  // namespace

int Keymap(const CommandLine& commandLine) {
  return Supervised([&] { return ProbeKeymap(commandLine); });
}

}  // namespace plughost
