#include "tests/wine/piped_program.h"

#include "tools/hostkit/child_process.h"

std::string ProgramBesideThisOne(const std::string& name) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + name;
}

PipedProgram::~PipedProgram() {
  if (process_.hProcess != nullptr && !WaitForEnd(0)) Terminate();
  for (HANDLE handle : {process_.hProcess, process_.hThread, out_, err_}) {
    if (handle != nullptr) CloseHandle(handle);
  }
}

bool PipedProgram::Start(const std::string& program, const std::string& arguments,
                         const std::string& input, std::string& error) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE inRead = nullptr;
  HANDLE inWrite = nullptr;
  HANDLE outWrite = nullptr;
  HANDLE errWrite = nullptr;
  if (!CreatePipe(&inRead, &inWrite, &inheritable, 0) ||
      !CreatePipe(&out_, &outWrite, &inheritable, 0) ||
      !CreatePipe(&err_, &errWrite, &inheritable, 0)) {
    error = "CreatePipe failed";
    for (HANDLE made : {inRead, inWrite, outWrite, errWrite}) {
      if (made != nullptr) CloseHandle(made);
    }
    return false;
  }
  for (HANDLE ours : {inWrite, out_, err_}) SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);

  commandLine_ = "\"" + ProgramBesideThisOne(program) + "\"";
  if (!arguments.empty()) commandLine_ += " " + arguments;
  const bool started = hostkit::StartChild(commandLine_, inRead, outWrite, errWrite, 0, process_);
  for (HANDLE theirs : {inRead, outWrite, errWrite}) CloseHandle(theirs);
  if (!started) {
    error = "cannot start " + commandLine_ + " (error " + std::to_string(GetLastError()) + ")";
    CloseHandle(inWrite);
    process_ = {};
    return false;
  }
  DWORD written = 0;
  if (!input.empty()) {
    WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  }
  CloseHandle(inWrite);
  return true;
}

bool PipedProgram::Poll(DWORD waitMs, std::string& out, std::string& err) {
  const bool ended = WaitForEnd(waitMs);
  hostkit::DrainPipe(out_, out);
  hostkit::DrainPipe(err_, err);
  return ended;
}

bool PipedProgram::WaitForEnd(DWORD waitMs) const {
  return WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
}

void PipedProgram::Terminate() const {
  TerminateProcess(process_.hProcess, 1);
  WaitForSingleObject(process_.hProcess, INFINITE);
}

DWORD PipedProgram::exitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}
