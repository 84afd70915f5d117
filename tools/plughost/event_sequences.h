#pragma once

// The event sequences check: series of HandleKey events from a fresh load, for faults that show
// only after a particular series (a plug-in's own modes). First every ordered pair of the events
// the plug-in acts on, then seeded random series of them with other events mixed in. A failing
// series is shrunk to the shortest that still fails the same way.

#include "tools/plughost/check_context.h"

namespace plughost {

void CheckEventSequences(CheckContext& context);

}  // namespace plughost
