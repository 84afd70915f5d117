// plughost about: Configure, which shows the plug-in's own window (Morlune's About box), and
// what it returned.

#include "tools/plughost/command_errors.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

int About(const CommandLine& commandLine) {
  return Supervised([&] {
    // The box waits for the user: no time limit unless one is asked for.
    PluginSession plugin(
        commandLine.dllPath,
        commandLine.timeoutGiven ? commandLine.timeoutMs : hostkit::WorkerProcess::NoLimit,
        hostkit::KeyboardCapture::Delivery::PassThrough);
    if (!LoadOrSayWhyNot(plugin)) return PluginFailure;
    const GuardedResult result = plugin.dll().Configure(nullptr);
    std::printf("Configure returned %ld\n", static_cast<long>(result.value));
    return PrintBreach(result.breach) ? PluginFailure : Success;
  });
}

}  // namespace plughost
