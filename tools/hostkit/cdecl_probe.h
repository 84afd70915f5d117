#pragma once

// Calls a function the way a cdecl caller does, with known values in the callee-saved
// registers, and records the CPU state the callee left behind: the stack pointer, EBX, ESI, EDI
// and EBP, the direction flag, the x87 register stack and control word, MXCSR and the head of the
// exception-handler chain. The caller survives a callee that breaks the convention: all of it is
// restored, before any of the caller's own code runs, from what the probe saved.

#include <cstdint>
#include <string>

struct CallProbe {
  std::uint32_t result;
  std::uint32_t ebx, esi, edi, ebp;           // as the callee returned them
  std::uint32_t espBeforeCall, espAfterCall;  // a cdecl callee leaves ESP as it found it
  std::uint32_t eflags;                       // as the callee returned them
  std::uint32_t fpuEnvironment[7];            // FNSTENV after the call: control, status, tags, ...
  std::uint32_t mxcsrAfter;
  std::uint32_t sehAfter;  // FS:[0], the innermost exception registration
  std::uint32_t sehBefore;
  std::uint32_t fpuControlBefore;
  std::uint32_t mxcsrBefore;
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
// it kept it. Breaches are joined by "; ". Plain text, built natively too.
std::string CdeclBreach(const char* function, const CallProbe& probe);
