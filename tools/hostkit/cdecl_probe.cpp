#include "tools/hostkit/cdecl_probe.h"

#include <cpuid.h>

#include <cstddef>

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
