#pragma once

// Child processes as plughost and the tests start them: with their standard handles given, and
// their output read without blocking by whoever polls them.

#include <windows.h>

#include <string>

namespace hostkit {

// Starts `commandLine` with these standard handles, which must be inheritable; `flags` are
// CreateProcess's creation flags. False, with GetLastError() saying why, if it did not start.
bool StartChild(std::string commandLine, HANDLE input, HANDLE output, HANDLE error, DWORD flags,
                PROCESS_INFORMATION& process);

// Appends what `pipe` holds now to `into`, without waiting for more. A run is ended by the end
// of the child, not of the pipe: Wine's background programs may inherit the child's end of it.
void DrainPipe(HANDLE pipe, std::string& into);

}  // namespace hostkit
