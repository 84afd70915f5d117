#include "tests/wine/run_program.h"

namespace {

// Reads what the pipe holds now, without waiting: Wine's background programs may inherit the
// child's end of the pipe, so the end of the child, not the end of the pipe, ends a run.
void DrainPipe(HANDLE pipe, std::string& into) {
  DWORD available = 0;
  char buffer[4096];
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) return;
    into.append(buffer, got);
  }
}

}  // namespace

std::string ProgramBesideThisOne(const std::string& name) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + name;
}

bool RunProgramBesideThisOne(const std::string& program, const std::string& arguments,
                             const std::string& input, ProgramRun& run, std::string& error,
                             DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE inRead = nullptr;
  HANDLE inWrite = nullptr;
  HANDLE outRead = nullptr;
  HANDLE outWrite = nullptr;
  HANDLE errRead = nullptr;
  HANDLE errWrite = nullptr;
  if (!CreatePipe(&inRead, &inWrite, &inheritable, 0) ||
      !CreatePipe(&outRead, &outWrite, &inheritable, 0) ||
      !CreatePipe(&errRead, &errWrite, &inheritable, 0)) {
    error = "CreatePipe failed";
    for (HANDLE made : {inRead, inWrite, outRead, outWrite, errRead, errWrite}) {
      if (made != nullptr) CloseHandle(made);
    }
    return false;
  }
  for (HANDLE ours : {inWrite, outRead, errRead})
    SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  std::string commandLine = "\"" + ProgramBesideThisOne(program) + "\" " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  for (HANDLE theirs : {inRead, outWrite, errWrite}) CloseHandle(theirs);
  if (!started) {
    error = "cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")";
    for (HANDLE ours : {inWrite, outRead, errRead}) CloseHandle(ours);
    return false;
  }

  DWORD written = 0;
  if (!input.empty()) {
    WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  }
  CloseHandle(inWrite);

  // Polled rather than read to the end, so a full pipe never stalls the child.
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool ended = false;
  while (!ended && GetTickCount64() < deadline) {
    ended = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
    DrainPipe(outRead, run.out);
    DrainPipe(errRead, run.err);
  }
  if (!ended) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(outRead);
  CloseHandle(errRead);
  // Console output under Wine arrives with CR LF; the tests compare plain lines.
  for (std::string* text : {&run.out, &run.err}) {
    std::string plain;
    for (char c : *text) {
      if (c != '\r') plain += c;
    }
    *text = plain;
  }
  if (!ended) error = commandLine + " did not end in time";
  return ended;
}
