#pragma once

// The checks of plughost check that read the file without loading it: what kind of file it is,
// its imports, its hardening flags and its exports.

#include "tools/plughost/check_context.h"

namespace plughost {

void CheckFileKind(CheckContext& context);
void CheckImports(CheckContext& context);
void CheckHardening(CheckContext& context);
void CheckExports(CheckContext& context);

}  // namespace plughost
