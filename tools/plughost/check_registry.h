#pragma once

// Every check of plughost check, in the order they run: adding one is an entry here and its
// function.

#include <span>

#include "tools/plughost/check_context.h"

namespace plughost {

// What a check needs before it can run; without it, it is a SKIP.
enum class Needs {
  Nothing,
  Dll,      // the file is a 32-bit Windows DLL
  Loading,  // the check of loading itself: a load that fails is its FAIL
  Loaded,   // the plug-in is loaded, fresh, in a worker of its own
};

struct CheckEntry {
  const char* name;
  const char* description;  // one line
  Needs needs;
  void (*run)(CheckContext& context);
};

std::span<const CheckEntry> CheckRegistry();

}  // namespace plughost
