#include "tests/wine/run_program.h"

#include "tests/wine/piped_program.h"

namespace {

// Console output under Wine arrives with CR LF; the tests compare plain lines.
void DropCarriageReturns(std::string& text) {
  std::erase(text, '\r');
}

}  // namespace

bool RunProgramBesideThisOne(const std::string& program, const std::string& arguments,
                             const std::string& input, ProgramRun& run, std::string& error,
                             DWORD timeoutMs) {
  PipedProgram child;
  if (!child.Start(program, arguments, input, error)) return false;
  // Polled rather than read to the end, so a full pipe never stalls the child.
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool ended = false;
  while (!ended && GetTickCount64() < deadline) ended = child.Poll(10, run.out, run.err);
  if (!ended) child.Terminate();
  run.exitCode = child.exitCode();
  DropCarriageReturns(run.out);
  DropCarriageReturns(run.err);
  if (!ended) error = child.commandLine() + " did not end in time";
  return ended;
}
