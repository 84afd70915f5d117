#include "tools/hostkit/pipe_drain.h"

namespace hostkit {

void DrainPipe(HANDLE pipe, std::string& into) {
  DWORD available = 0;
  char buffer[4096];
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) return;
    into.append(buffer, got);
  }
}

}  // namespace hostkit
