#pragma once

// Runs the checks of the registry on one plug-in: each against a fresh load in a fresh worker,
// a check that cannot run a SKIP with why, a worker lost during a check that check's FAIL, keys
// that came outside any call a finding of the check that saw them.

#include <cstdint>
#include <functional>
#include <string>

#include "tools/plughost/check_report.h"
#include "tools/plughost/commands.h"

namespace plughost {

PluginReport RunChecks(const CommandLine& commandLine, const std::string& path, std::uint32_t seed,
                       const std::function<bool(const std::string& check)>& selected,
                       const std::function<void(const std::string& check, const Finding&)>& shown);

}  // namespace plughost
