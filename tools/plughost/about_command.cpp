// plughost about: Configure, which shows the plug-in's own window (Morlune's About box), and
// what it returned.

#include "tools/plughost/commands.h"
#include "tools/plughost/fatal_report.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

int About(const Session& session) {
  // The box waits for the user: no time limit unless one is asked for.
  PluginSession plugin(FullPath(session.dllPath),
                       session.timeoutGiven ? session.timeoutMs : hostkit::CallGuard::NoLimit,
                       hostkit::KeyboardCapture::Delivery::PassThrough, &PrintFatal);
  std::string error;
  if (!plugin.Load(error)) {
    std::fprintf(stderr, "plughost: %s\n", error.c_str());
    return PluginFailure;
  }
  const GuardedResult result = plugin.Configure(nullptr);
  std::printf("Configure returned %ld\n", static_cast<long>(result.value));
  return PrintBreach(result.breach) ? PluginFailure : Success;
}

}  // namespace plughost
