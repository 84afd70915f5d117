#pragma once

#include <cstdint>
#include <string>

namespace hostkit {

// What one guarded call into a plug-in returned.
struct GuardedResult {
  std::uint32_t value;
  std::string breach;  // what the callee did against the cdecl contract; empty when nothing
};

}  // namespace hostkit
