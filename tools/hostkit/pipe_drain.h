#pragma once

// Reading a child's output without blocking, for whoever polls a child process.

#include <windows.h>

#include <string>

namespace hostkit {

// Appends what `pipe` holds now to `into`, without waiting for more. A run is ended by the end
// of the child, not of the pipe: Wine's background programs may inherit the child's end of it.
void DrainPipe(HANDLE pipe, std::string& into);

}  // namespace hostkit
