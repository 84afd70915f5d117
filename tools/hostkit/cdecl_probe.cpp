#include "tools/hostkit/cdecl_probe.h"

#include <cstdio>

// i686 only; written in assembly because the point is to control every register around the
// call. State that must survive a misbehaving callee lives in static storage, not the stack.
extern "C" {
std::uint32_t probeSavedEsp;
std::uint32_t probeRecord;
}

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
  movl _probeSavedEsp, %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

std::string CdeclBreach(const char* function, const CallProbe& probe) {
  std::string breach;
  auto add = [&](const std::string& text) { breach += (breach.empty() ? "" : "; ") + text; };
  const auto moved = static_cast<std::int32_t>(probe.espAfterCall - probe.espBeforeCall);
  if (moved > 0) {
    add(std::string(function) + " removed " + std::to_string(moved) +
        " bytes of arguments: it is stdcall, the host calls cdecl");
  } else if (moved < 0) {
    add(std::string(function) + " left " + std::to_string(-moved) + " bytes on the stack");
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
    char text[160];
    std::snprintf(text, sizeof text,
                  "%s changed %s (0x%08lX before the call, 0x%08lX after): the host expects "
                  "EBX, ESI, EDI and EBP kept",
                  function, reg.name, static_cast<unsigned long>(reg.expected),
                  static_cast<unsigned long>(reg.seen));
    add(text);
  }
  return breach;
}
