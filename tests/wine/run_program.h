#pragma once

// Runs a program beside this one to completion, feeding it standard input and collecting its
// output and exit code.

#include <windows.h>

#include <string>

struct ProgramRun {
  DWORD exitCode = 0;
  std::string out;
  std::string err;
};

// `arguments` is appended to the quoted program path as it stands. False (with `error`) when
// the program could not be started or did not end within `timeoutMs`.
bool RunProgramBesideThisOne(const std::string& program, const std::string& arguments,
                             const std::string& input, ProgramRun& run, std::string& error,
                             DWORD timeoutMs = 120000);
