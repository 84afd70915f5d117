#pragma once

// The checks of plughost check that call the loaded plug-in's exports (the HandleKey sweeps and
// the event sequences have files of their own).

#include "tools/plughost/check_context.h"

namespace plughost {

void CheckLoad(CheckContext& context);
void CheckCallingConvention(CheckContext& context);
void CheckWantedKeys(CheckContext& context);
void CheckProgrammableFunctions(CheckContext& context);
void CheckFocus(CheckContext& context);
void CheckConfigure(CheckContext& context);
void CheckReload(CheckContext& context);

}  // namespace plughost
