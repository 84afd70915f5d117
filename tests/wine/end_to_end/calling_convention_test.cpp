// Every export called at the register level: cdecl, and the caller's registers and CPU state
// kept.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tools/hostkit/cdecl_probe.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/window_closer.h"

namespace {

TEST_F(EndToEnd, ExportsAreCdeclAndKeepTheCallersRegisters) {
  hostkit::StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  // Configure's About box, confirmed whatever its caption.
  const hostkit::WindowCloser closer(GetCurrentProcessId(), hostkit::WindowCloser::Closes::Dialogs);
  const auto owner = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(morlune.handle()));
  struct Case {
    const char* name;
    const void* function;
    std::vector<std::uint32_t> arguments;
    std::uint32_t result;
  };
  std::vector<Case> cases = {
      {"WhatKeysDoYouWant", reinterpret_cast<const void*>(exports().WhatKeysDoYouWant), {}, 0x3FF8},
      {"AreYouInFocus", reinterpret_cast<const void*>(exports().AreYouInFocus), {}, 1},
      {"HandleKey", reinterpret_cast<const void*>(exports().HandleKey), {0, 23, 1}, 1},
      {"HandleKey", reinterpret_cast<const void*>(exports().HandleKey), {0, 13, 1}, 0},
      {"Configure", reinterpret_cast<const void*>(exports().Configure), {owner}, IDOK},
  };
  for (std::uint32_t count = 0; count <= 8; ++count) {
    cases.push_back({"EnumerateProgrammableFunction",
                     reinterpret_cast<const void*>(exports().EnumerateProgrammableFunction),
                     std::vector<std::uint32_t>(count, 0xA5A5A5A5), 0});
  }
  for (const Case& c : cases) {
    CallProbe probe{};
    ProbeCdeclCall(c.function, c.arguments.data(), static_cast<std::uint32_t>(c.arguments.size()),
                   &probe);
    SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(c.arguments.size()) +
                 " arguments");
    EXPECT_EQ(probe.result, c.result);
    EXPECT_EQ(probe.espAfterCall, probe.espBeforeCall) << "the callee moved the stack pointer";
    EXPECT_EQ(probe.ebx, ProbeEbx);
    EXPECT_EQ(probe.esi, ProbeEsi);
    EXPECT_EQ(probe.edi, ProbeEdi);
    EXPECT_EQ(probe.ebp, ProbeEbp);
    // The rest of the state a callee keeps: flags, x87 unit, MXCSR, the handler chain.
    EXPECT_EQ(CdeclBreach(c.name, probe), "");
  }
  Injected();
}

}  // namespace
