#pragma once

#include <cstddef>

namespace hostkit {

// "Crash.dll+0x15b7" for an address in a module of this process, the bare address otherwise.
// Writes into `text` and allocates nothing, so an exception filter may call it.
void DescribeCodeAddress(const void* address, char* text, std::size_t size);

}  // namespace hostkit
