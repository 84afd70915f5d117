#include "tools/hostkit/child_process.h"

namespace hostkit {

bool StartChild(std::string commandLine, HANDLE input, HANDLE output, HANDLE error, DWORD flags,
                PROCESS_INFORMATION& process) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &process) != 0;
}

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
