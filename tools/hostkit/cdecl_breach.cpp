#include "tools/hostkit/cdecl_probe.h"
#include "tools/hostkit/exception_text.h"
#include "tools/strings/hex.h"

namespace {

constexpr std::uint32_t DirectionFlag = 1u << 10;
constexpr std::uint32_t FpuControlMask = 0x1F3F;  // precision, rounding and exception masks
// MXCSR's control bits (masks, rounding, flush-to-zero, denormals-are-zero); the low six are
// sticky status flags, which a callee may leave set.
constexpr std::uint32_t MxcsrControlMask = 0xFFC0;
constexpr std::uint32_t FpuEmptyTag = 3;

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
    add("changed " + std::string(reg.name) + " (" + strings::Hex(reg.expected, 8) +
        " before the call, " + strings::Hex(reg.seen, 8) +
        " after): the host expects EBX, ESI, EDI and EBP kept");
  }
  if ((probe.eflags & DirectionFlag) != 0) {
    add("returned with the direction flag set: the host expects it clear");
  }
  if (const int used = UsedFpuRegisters(probe); used > 0) {
    add("left " + std::to_string(used) + (used == 1 ? " value" : " values") +
        " on the x87 register stack: the host expects it empty after a call that returns an "
        "integer");
  }
  // Compared on the bits that mean something, shown whole.
  const std::uint32_t controlBefore = probe.fpuControlBefore & 0xFFFF;
  const std::uint32_t controlAfter = probe.fpuEnvironment[0] & 0xFFFF;
  if ((controlAfter & FpuControlMask) != (controlBefore & FpuControlMask)) {
    add("changed the x87 control word (" + strings::Hex(controlBefore, 4) + " before the call, " +
        strings::Hex(controlAfter, 4) + " after): the host expects it kept");
  }
  if ((probe.mxcsrAfter & MxcsrControlMask) != (probe.mxcsrBefore & MxcsrControlMask)) {
    add("changed the control bits of MXCSR (" + strings::Hex(probe.mxcsrBefore, 4) +
        " before the call, " + strings::Hex(probe.mxcsrAfter, 4) +
        " after): the host expects them kept");
  }
  if (probe.sehAfter != probe.sehBefore) {
    add("left the exception-handler chain changed (FS:[0] " + strings::Hex(probe.sehBefore, 8) +
        " before the call, " + strings::Hex(probe.sehAfter, 8) +
        " after): the host expects it as it was");
  }
  return breach;
}
