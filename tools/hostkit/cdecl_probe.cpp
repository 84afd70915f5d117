#include "tools/hostkit/cdecl_probe.h"

#include <cpuid.h>

#include <cstddef>
#include <cstdio>

// i686 only; written in assembly because the point is to control every register around the
// call. State that must survive a misbehaving callee lives in static storage, not the stack.
extern "C" {
std::uint32_t probeSavedEsp;
std::uint32_t probeRecord;
std::uint32_t probeSavedFpuControl;
std::uint32_t probeSavedMxcsr;
std::uint32_t probeSavedSeh;
// MXCSR exists only where the processor has SSE.
std::uint32_t probeHasSse = [] {
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  constexpr unsigned SseBit = 1u << 25;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & SseBit) != 0 ? 1u : 0u;
}();
}

// The record's layout, as the assembly below writes it.
static_assert(offsetof(CallProbe, espBeforeCall) == 20 && offsetof(CallProbe, eflags) == 28 &&
              offsetof(CallProbe, fpuEnvironment) == 32 && offsetof(CallProbe, mxcsrAfter) == 60 &&
              offsetof(CallProbe, sehAfter) == 64 && offsetof(CallProbe, sehBefore) == 68 &&
              offsetof(CallProbe, fpuControlBefore) == 72 &&
              offsetof(CallProbe, mxcsrBefore) == 76);

asm(R"(
  .text
  .globl _ProbeCdeclCall
_ProbeCdeclCall:
  pushl %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl 20(%esp), %eax        # function
  movl 24(%esp), %edx        # arguments
  movl 28(%esp), %ecx        # count
  movl 32(%esp), %esi        # probe record
  movl %esi, _probeRecord
  movl %esp, _probeSavedEsp
  fnstcw _probeSavedFpuControl
  cmpl $0, _probeHasSse
  je 3f
  stmxcsr _probeSavedMxcsr
3:
  movl %fs:0, %edi
  movl %edi, _probeSavedSeh
  leal (%edx,%ecx,4), %edx
1:
  testl %ecx, %ecx
  jz 2f
  subl $4, %edx
  pushl (%edx)
  decl %ecx
  jmp 1b
2:
  movl _probeRecord, %esi
  movl %esp, 20(%esi)        # espBeforeCall
  movl $0xB0B0B0B0, %ebx
  movl $0x51515151, %esi
  movl $0xD1D1D1D1, %edi
  movl $0xEBEBEBEB, %ebp
  call *%eax
  movl _probeRecord, %ecx
  movl %eax, 0(%ecx)
  movl %ebx, 4(%ecx)
  movl %esi, 8(%ecx)
  movl %edi, 12(%ecx)
  movl %ebp, 16(%ecx)
  movl %esp, 24(%ecx)        # espAfterCall
  # Our own stack first (MOV leaves the flags alone), then the state the callee had to keep:
  # the flags, the x87 unit, MXCSR and the exception chain, each recorded and put back.
  movl _probeSavedEsp, %esp
  pushfl
  popl 28(%ecx)              # eflags
  cld
  fnstenv 32(%ecx)
  fninit
  fldcw _probeSavedFpuControl
  cmpl $0, _probeHasSse
  je 4f
  stmxcsr 60(%ecx)
  ldmxcsr _probeSavedMxcsr
4:
  movl %fs:0, %edx
  movl %edx, 64(%ecx)        # sehAfter
  movl _probeSavedSeh, %edx
  movl %edx, %fs:0
  movl %edx, 68(%ecx)        # sehBefore
  movl _probeSavedFpuControl, %edx
  movl %edx, 72(%ecx)
  movl _probeSavedMxcsr, %edx
  movl %edx, 76(%ecx)
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

namespace {

constexpr std::uint32_t DirectionFlag = 1u << 10;
constexpr std::uint32_t FpuControlMask = 0x1F3F;  // precision, rounding and exception masks
// MXCSR's control bits (masks, rounding, flush-to-zero, denormals-are-zero); the low six are
// sticky status flags, which a callee may leave set.
constexpr std::uint32_t MxcsrControlMask = 0xFFC0;
constexpr std::uint32_t FpuEmptyTag = 3;

std::string Hex4(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04lX", static_cast<unsigned long>(value));
  return text;
}

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

int UsedFpuRegisters(const CallProbe& probe) {
  const std::uint32_t tags = probe.fpuEnvironment[2];
  int used = 0;
  for (int slot = 0; slot < 8; ++slot) used += ((tags >> (2 * slot)) & 3) != FpuEmptyTag ? 1 : 0;
  return used;
}

}  // namespace

std::string CdeclBreach(const char* function, const CallProbe& probe) {
  std::string breach;
  auto add = [&](const std::string& text) {
    breach += (breach.empty() ? "" : "; ") + std::string(function) + " " + text;
  };
  const auto moved = static_cast<std::int32_t>(probe.espAfterCall - probe.espBeforeCall);
  if (moved > 0) {
    add("removed " + std::to_string(moved) +
        " bytes of arguments: it is stdcall, the host calls cdecl");
  } else if (moved < 0) {
    add("left " + std::to_string(-moved) + " bytes on the stack");
  }
  const struct {
    const char* name;
    std::uint32_t expected, seen;
  } registers[] = {{"EBX", ProbeEbx, probe.ebx},
                   {"ESI", ProbeEsi, probe.esi},
                   {"EDI", ProbeEdi, probe.edi},
                   {"EBP", ProbeEbp, probe.ebp}};
  for (const auto& reg : registers) {
    if (reg.seen == reg.expected) continue;
    add("changed " + std::string(reg.name) + " (" + Hex8(reg.expected) + " before the call, " +
        Hex8(reg.seen) + " after): the host expects EBX, ESI, EDI and EBP kept");
  }
  if ((probe.eflags & DirectionFlag) != 0) {
    add("returned with the direction flag set: the host expects it clear");
  }
  if (const int used = UsedFpuRegisters(probe); used > 0) {
    add("left " + std::to_string(used) + (used == 1 ? " value" : " values") +
        " on the x87 register stack: the host expects it empty after a call that returns an "
        "integer");
  }
  const std::uint32_t controlAfter = probe.fpuEnvironment[0] & FpuControlMask;
  if (controlAfter != (probe.fpuControlBefore & FpuControlMask)) {
    add("changed the x87 control word (" + Hex4(probe.fpuControlBefore & FpuControlMask) +
        " before the call, " + Hex4(controlAfter) + " after): the host expects it kept");
  }
  if ((probe.mxcsrAfter & MxcsrControlMask) != (probe.mxcsrBefore & MxcsrControlMask)) {
    add("changed the control bits of MXCSR (" + Hex4(probe.mxcsrBefore) + " before the call, " +
        Hex4(probe.mxcsrAfter) + " after): the host expects them kept");
  }
  if (probe.sehAfter != probe.sehBefore) {
    add("left the exception-handler chain changed (FS:[0] " + Hex8(probe.sehBefore) +
        " before the call, " + Hex8(probe.sehAfter) + " after): the host expects it as it was");
  }
  return breach;
}
