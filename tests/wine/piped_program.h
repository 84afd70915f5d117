#pragma once

// A program of this program's folder started as a child, with its standard input fed from a
// string and its standard output and error piped back. Whoever starts it polls it.

#include <windows.h>

#include <string>

// The full path of `name` in this program's own folder.
std::string ProgramBesideThisOne(const std::string& name);

class PipedProgram {
 public:
  PipedProgram() = default;
  // Ends the child if it still runs.
  ~PipedProgram();
  PipedProgram(const PipedProgram&) = delete;
  PipedProgram& operator=(const PipedProgram&) = delete;

  // Starts `program` with `arguments` appended to its quoted path as they stand. `input` is
  // written whole before anything is read: fine for the few lines tests send. False (with
  // `error`) when it cannot be started.
  bool Start(const std::string& program, const std::string& arguments, const std::string& input,
             std::string& error);

  // Waits up to `waitMs` for the child to end, then appends what its output and error hold to
  // `out` and `err`. True once it has ended.
  bool Poll(DWORD waitMs, std::string& out, std::string& err);

  // Waits up to `waitMs` for the child to end, reading nothing; true once it has.
  [[nodiscard]] bool WaitForEnd(DWORD waitMs) const;
  // Ends the child and waits until it has gone.
  void Terminate() const;
  [[nodiscard]] DWORD exitCode() const;
  [[nodiscard]] const std::string& commandLine() const { return commandLine_; }

 private:
  std::string commandLine_;
  PROCESS_INFORMATION process_{};
  HANDLE out_ = nullptr;
  HANDLE err_ = nullptr;
};
