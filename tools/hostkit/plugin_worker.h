#pragma once

// The worker side of a supervised plug-in: the only process that loads it. It runs the
// supervisor's requests one at a time on its main thread, every export call through the cdecl
// probe, and reports any fault in the shared channel before it ends itself.

#include <string>
#include <vector>

namespace hostkit {

// The worker's command line after the program's own name: the handles it inherited.
inline constexpr const char* WorkerOption = "--plug-in-worker";

// Runs the worker until the supervisor asks it to quit or ends; returns its exit status.
int RunPluginWorker(const std::vector<std::string>& handles);

}  // namespace hostkit
