#pragma once

// Exceptions and calls in a plug-in author's words. Free of <windows.h>: the supervisor and the
// worker share it, and it is tested natively.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace hostkit {

// The system's codes for the exceptions a plug-in may raise, and for the ends of a process.
namespace status {
inline constexpr std::uint32_t AccessViolation = 0xC0000005;
inline constexpr std::uint32_t InPageError = 0xC0000006;
inline constexpr std::uint32_t InvalidHandle = 0xC0000008;
inline constexpr std::uint32_t IllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t NoncontinuableException = 0xC0000025;
inline constexpr std::uint32_t ArrayBoundsExceeded = 0xC000008C;
inline constexpr std::uint32_t FloatDenormalOperand = 0xC000008D;
inline constexpr std::uint32_t FloatDivideByZero = 0xC000008E;
inline constexpr std::uint32_t FloatInexactResult = 0xC000008F;
inline constexpr std::uint32_t FloatInvalidOperation = 0xC0000090;
inline constexpr std::uint32_t FloatOverflow = 0xC0000091;
inline constexpr std::uint32_t FloatStackCheck = 0xC0000092;
inline constexpr std::uint32_t FloatUnderflow = 0xC0000093;
inline constexpr std::uint32_t IntegerDivideByZero = 0xC0000094;
inline constexpr std::uint32_t IntegerOverflow = 0xC0000095;
inline constexpr std::uint32_t PrivilegedInstruction = 0xC0000096;
inline constexpr std::uint32_t StackOverflow = 0xC00000FD;
inline constexpr std::uint32_t StackBufferOverrun = 0xC0000409;
inline constexpr std::uint32_t GuardPage = 0x80000001;
inline constexpr std::uint32_t DatatypeMisalignment = 0x80000002;
inline constexpr std::uint32_t Breakpoint = 0x80000003;
inline constexpr std::uint32_t SingleStep = 0x80000004;
inline constexpr std::uint32_t ControlCExit = 0xC000013A;
// What Visual C++ raises for a C++ throw.
inline constexpr std::uint32_t MicrosoftCxxException = 0xE06D7363;
}  // namespace status

// "access violation", "unhandled C++ exception"; "exception 0xE0434352" for a code without a name.
std::string ExceptionName(std::uint32_t code);

struct ExceptionFacts {
  std::uint32_t code;
  std::uint32_t parameterCount;
  std::uint32_t parameters[2];  // for an access violation: 0 read, 1 write, 8 execute; address
  std::string location;         // "Crash.dll+0x15b7", or the bare address outside any module
};

// "access violation writing 0x00000008 at Crash.dll+0x15b7".
std::string DescribeException(const ExceptionFacts& facts);

// "HandleKey(0, 7, 1)": small values in decimal, others (handles, pointers) in hex.
std::string FormatCall(const char* function, const std::uint32_t* arguments, std::size_t count);
inline std::string DescribeCall(const char* function,
                                std::initializer_list<std::uint32_t> arguments) {
  return FormatCall(function, arguments.begin(), arguments.size());
}

// "exit code 3"; "exit code 0xC0000005, access violation" for an exception's code.
std::string DescribeExitCode(std::uint32_t code);

// "1 s", "0.25 s".
std::string SecondsText(std::uint32_t milliseconds);

}  // namespace hostkit

namespace hostkit {

// What a C++ runtime printed when an exception escaped and it ended the process, from the
// process's output: "std::runtime_error (\"disk full\")", "no active exception"; empty when the
// output holds no such report.
std::string EscapedCxxException(const std::string& output);

}  // namespace hostkit
