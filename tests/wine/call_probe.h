#pragma once

// Calls a function the way a cdecl caller does, with known values in the callee-saved
// registers, and records what the callee left behind.

#include <cstdint>

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
// itself, and restores the stack even if the callee misbehaved.
extern "C" void ProbeCdeclCall(const void* function, const std::uint32_t* arguments,
                               std::uint32_t count, CallProbe* probe);
