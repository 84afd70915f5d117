#pragma once

// The checks of plughost check that read the file without loading it: what kind of file it is,
// its imports, its hardening flags and its exports.

#include <string>

#include "tools/plughost/check_report.h"

namespace plughost {

// False when the host could not use the file at all, so that loading it makes no sense.
bool CheckFile(const std::string& path, CheckReport& report);

}  // namespace plughost
