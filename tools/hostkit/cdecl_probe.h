#pragma once

// Calls a function the way a cdecl caller does, with known values in the callee-saved
// registers, and records what the callee left behind. The caller survives a callee that breaks
// the convention: the stack and the registers are restored from what the probe saved.

#include <cstdint>
#include <string>

struct CallProbe {
  std::uint32_t result;
  std::uint32_t ebx, esi, edi, ebp;           // as the callee returned them
  std::uint32_t espBeforeCall, espAfterCall;  // a cdecl callee leaves ESP as it found it
};

inline constexpr std::uint32_t ProbeEbx = 0xB0B0B0B0;
inline constexpr std::uint32_t ProbeEsi = 0x51515151;
inline constexpr std::uint32_t ProbeEdi = 0xD1D1D1D1;
inline constexpr std::uint32_t ProbeEbp = 0xEBEBEBEB;

// Pushes `count` arguments (the first pushed last), calls `function`, removes the arguments
// itself, and restores the stack even if the callee misbehaved. One call at a time in the
// process: the probe keeps what it must restore in static storage, out of the callee's reach.
extern "C" void ProbeCdeclCall(const void* function, const std::uint32_t* arguments,
                               std::uint32_t count, CallProbe* probe);

// What `function`'s callee did against the cdecl contract, in a plug-in author's words
// ("HandleKey removed 12 bytes of arguments: it is stdcall, the host calls cdecl"); empty when
// it kept it.
std::string CdeclBreach(const char* function, const CallProbe& probe);
