#pragma once

// The one block of memory a supervisor and its plug-in worker share: the request the supervisor
// writes before it signals, what the worker is doing at every moment (read by the supervisor's
// watchdog and keyboard hook), the reply, and the account of a fault written just before the
// worker ends. Plain data only: it is mapped into two processes.

#include <windows.h>

#include <cstdint>

#include "tools/hostkit/call_clock.h"
#include "tools/hostkit/cdecl_probe.h"

namespace hostkit::worker {

inline constexpr std::uint32_t MaxCalls = 4096;
inline constexpr std::uint32_t MaxArguments = 8;

// An argument of this value, with a buffer's number (0 to 3) in its low bits, reaches the plug-in
// as the address of one of the worker's scratch buffers, zeroed before the call: a pointer the
// plug-in may write through, and whether it did is seen afterwards.
inline constexpr std::uint32_t ScratchBufferArgument = 0x5C2A0000;
inline constexpr std::uint32_t ScratchBuffers = 4;
inline constexpr std::uint32_t ScratchBufferWords = 1024;

inline constexpr bool IsScratchBufferArgument(std::uint32_t value) {
  return (value & ~std::uint32_t{3}) == ScratchBufferArgument;
}

enum class Command : std::uint32_t { None, Load, Unload, Calls, Sample, Quit };

// Which calls end a run of calls early, after them.
namespace StopAt {
inline constexpr std::uint32_t Never = 0;
inline constexpr std::uint32_t Handled = 1;  // one that returns non-zero
inline constexpr std::uint32_t Breach = 2;   // one that breaks the calling convention
}  // namespace StopAt

// What the worker's calling thread is doing.
enum Activity : LONG { Idle, Loading, Unloading, Calling };

// A call of this "function" unloads the plug-in and loads it afresh: a run of calls can play
// many series, each from a fresh load, in one request. The run ends where a load fails.
inline constexpr std::uint32_t ReloadFunction = 0xFFFFFFFF;

struct Call {
  std::uint32_t function;  // an index into PluginExportNames, or ReloadFunction
  std::uint32_t count;
  std::uint32_t arguments[MaxArguments];
};

struct Fault {
  DWORD code;
  DWORD parameterCount;
  DWORD parameters[2];
  DWORD threadId;
  LONG activity;  // of the calling thread when it happened
  LONG serial;    // the call in progress then; 0 when none
  char location[160];
};

struct Channel {
  // The request.
  Command command;
  std::uint32_t callCount;
  std::uint32_t stopAt;  // StopAt bits: which calls end the run early
  LONG firstSerial;      // the serial of calls[0]; the others follow on
  char path[MAX_PATH];
  Call calls[MaxCalls];

  // Live.
  DWORD callingThread;
  volatile LONG activity;
  volatile DWORD startedAt;  // GetTickCount() at the start of the activity
  CallClock clock;

  // The reply.
  std::uint32_t callsDone;
  BOOL scratchWritten;  // some call of the request wrote into a scratch buffer
  BOOL loaded;
  char error[1024];
  CallProbe probes[MaxCalls];
  DWORD handles;
  BOOL handlesCounted;  // false: `handles` is the highest handle index in use, a stand-in
  ULONGLONG privateBytes;
  // The first error raised while loading or unloading, even one the system's loader swallowed.
  BOOL loaderRaised;
  Fault loaderException;

  std::uint32_t scratch[ScratchBuffers][ScratchBufferWords];

  // Written by the worker's exception filter just before the worker ends itself.
  volatile LONG faulted;
  Fault fault;
};

}  // namespace hostkit::worker
