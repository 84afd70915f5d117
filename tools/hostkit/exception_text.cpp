#include "tools/hostkit/exception_text.h"

#include <cstdio>

#include "tools/strings/hex.h"

namespace hostkit {

std::string ExceptionName(std::uint32_t code) {
  struct Named {
    std::uint32_t code;
    const char* name;
  };
  static constexpr Named Names[] = {
      {status::AccessViolation, "access violation"},
      {status::InPageError, "in-page error"},
      {status::InvalidHandle, "invalid handle"},
      {status::IllegalInstruction, "illegal instruction"},
      {status::NoncontinuableException, "non-continuable exception"},
      {status::ArrayBoundsExceeded, "array bounds exceeded"},
      {status::FloatDenormalOperand, "denormal floating-point operand"},
      {status::FloatDivideByZero, "floating-point divide by zero"},
      {status::FloatInexactResult, "inexact floating-point result"},
      {status::FloatInvalidOperation, "invalid floating-point operation"},
      {status::FloatOverflow, "floating-point overflow"},
      {status::FloatStackCheck, "floating-point stack check"},
      {status::FloatUnderflow, "floating-point underflow"},
      {status::IntegerDivideByZero, "integer divide by zero"},
      {status::IntegerOverflow, "integer overflow"},
      {status::PrivilegedInstruction, "privileged instruction"},
      {status::StackOverflow, "stack overflow"},
      {status::StackBufferOverrun, "stack buffer overrun (fast fail)"},
      {status::GuardPage, "guard page violation"},
      {status::DatatypeMisalignment, "misaligned data access"},
      {status::Breakpoint, "breakpoint"},
      {status::SingleStep, "single step"},
      {status::ControlCExit, "Ctrl+C exit"},
      {status::MicrosoftCxxException, "unhandled C++ exception"},
  };
  for (const Named& named : Names) {
    if (named.code == code) return named.name;
  }
  return "exception " + strings::Hex(code, 8);
}

std::string DescribeException(const ExceptionFacts& facts) {
  std::string text = ExceptionName(facts.code);
  if (facts.code == status::AccessViolation && facts.parameterCount >= 2) {
    const std::uint32_t kind = facts.parameters[0];
    text += kind == 0 ? " reading " : kind == 1 ? " writing " : " executing ";
    text += strings::Hex(facts.parameters[1], 8);
  }
  return text + " at " + facts.location;
}

std::string FormatCall(const char* function, const std::uint32_t* arguments, std::size_t count) {
  std::string text = std::string(function) + "(";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ", ";
    text += arguments[i] <= 0xFFFF ? std::to_string(arguments[i]) : strings::Hex(arguments[i], 8);
  }
  return text + ")";
}

std::string DescribeExitCode(std::uint32_t code) {
  if (code <= 0xFFFF) return "exit code " + std::to_string(code);
  const std::string name = ExceptionName(code);
  return "exit code " + strings::Hex(code, 8) +
         (name.rfind("exception ", 0) == 0 ? "" : ", " + name);
}

std::string SecondsText(std::uint32_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", milliseconds / 1000.0);
  return text;
}

}  // namespace hostkit

namespace hostkit {
namespace {

// The rest of the line in `text` after `marker`, or nothing.
std::string LineAfter(const std::string& text, const std::string& marker) {
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t begin = at + marker.size();
  std::size_t end = text.find_first_of("\r\n", begin);
  if (end == std::string::npos) end = text.size();
  return text.substr(begin, end - begin);
}

}  // namespace

std::string EscapedCxxException(const std::string& output) {
  // libstdc++: "terminate called after throwing an instance of 'T'" and "  what():  text".
  std::string type = LineAfter(output, "terminate called after throwing an instance of '");
  if (!type.empty()) {
    if (type.back() == '\'') type.pop_back();
    std::string what = LineAfter(output, "what():  ");
    return what.empty() ? type : type + " (\"" + what + "\")";
  }
  if (output.find("terminate called without an active exception") != std::string::npos) {
    return "std::terminate with no active exception";
  }
  // libc++: "libc++abi: terminating due to uncaught exception of type T: text".
  const std::string libcxx = LineAfter(output, "terminating due to uncaught exception of type ");
  if (!libcxx.empty()) {
    const std::size_t colon = libcxx.find(": ");
    return colon == std::string::npos
               ? libcxx
               : libcxx.substr(0, colon) + " (\"" + libcxx.substr(colon + 2) + "\")";
  }
  return {};
}

}  // namespace hostkit
