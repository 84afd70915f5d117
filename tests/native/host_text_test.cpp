// What plughost says about a call into a plug-in: the CPU state the callee left behind, the
// exception that ended it, the way its process ended.

#include <gtest/gtest.h>

#include "tools/hostkit/cdecl_probe.h"
#include "tools/hostkit/exception_text.h"
#include "tools/plughost/call_text.h"
#include "tools/strings/hex.h"
#include "tools/strings/join.h"

namespace {

constexpr std::uint32_t DirectionFlag = 0x400;
constexpr std::uint32_t AllEmptyTags = 0xFFFF;
constexpr std::uint32_t DefaultFpuControl = 0x027F;
constexpr std::uint32_t DefaultMxcsr = 0x1F80;

// A record of a callee that kept the whole convention; the reserved upper halves of FNSTENV's
// words as the processor fills them.
CallProbe KeptProbe() {
  CallProbe probe{};
  probe.ebx = ProbeEbx;
  probe.esi = ProbeEsi;
  probe.edi = ProbeEdi;
  probe.ebp = ProbeEbp;
  probe.espBeforeCall = probe.espAfterCall = 0x0019FE00;
  probe.eflags = 0x202;
  probe.fpuEnvironment[0] = 0xFFFF0000 | DefaultFpuControl;
  probe.fpuEnvironment[2] = 0xFFFF0000 | AllEmptyTags;
  probe.fpuControlBefore = DefaultFpuControl;
  probe.mxcsrBefore = probe.mxcsrAfter = DefaultMxcsr;
  probe.sehBefore = probe.sehAfter = 0x0019FFCC;
  return probe;
}

TEST(CdeclBreach, NamesEachPartOfTheStateACalleeDidNotKeep) {
  struct Case {
    const char* what;
    void (*change)(CallProbe&);
    const char* breach;
  };
  const Case cases[] = {
      {"nothing", [](CallProbe&) {}, ""},
      {"stdcall", [](CallProbe& p) { p.espAfterCall += 12; },
       "HandleKey removed 12 bytes of arguments: it is stdcall, the host calls cdecl"},
      {"pushed", [](CallProbe& p) { p.espAfterCall -= 4; }, "HandleKey left 4 bytes on the stack"},
      {"EBX", [](CallProbe& p) { p.ebx = 0x4F4F4F4F; },
       "HandleKey changed EBX (0xB0B0B0B0 before the call, 0x4F4F4F4F after): the host expects "
       "EBX, ESI, EDI and EBP kept"},
      {"EBP", [](CallProbe& p) { p.ebp = 0; },
       "HandleKey changed EBP (0xEBEBEBEB before the call, 0x00000000 after): the host expects "
       "EBX, ESI, EDI and EBP kept"},
      {"direction flag", [](CallProbe& p) { p.eflags |= DirectionFlag; },
       "HandleKey returned with the direction flag set: the host expects it clear"},
      // FLD puts its first value in physical register 7: its tag is the top two bits.
      {"one x87 value", [](CallProbe& p) { p.fpuEnvironment[2] = 0xFFFF3FFF; },
       "HandleKey left 1 value on the x87 register stack: the host expects it empty after a call "
       "that returns an integer"},
      {"two x87 values", [](CallProbe& p) { p.fpuEnvironment[2] = 0xFFFF0FFF; },
       "HandleKey left 2 values on the x87 register stack: the host expects it empty after a "
       "call that returns an integer"},
      {"x87 precision", [](CallProbe& p) { p.fpuEnvironment[0] = 0xFFFF037F; },
       "HandleKey changed the x87 control word (0x027F before the call, 0x037F after): the host "
       "expects it kept"},
      {"x87 status only", [](CallProbe& p) { p.fpuEnvironment[1] = 0xFFFF0004; }, ""},
      {"MXCSR flush-to-zero", [](CallProbe& p) { p.mxcsrAfter = 0x9F80; },
       "HandleKey changed the control bits of MXCSR (0x1F80 before the call, 0x9F80 after): the "
       "host expects them kept"},
      {"MXCSR status flags only", [](CallProbe& p) { p.mxcsrAfter = 0x1FA1; }, ""},
      {"handler chain", [](CallProbe& p) { p.sehAfter = 0x0019FD00; },
       "HandleKey left the exception-handler chain changed (FS:[0] 0x0019FFCC before the call, "
       "0x0019FD00 after): the host expects it as it was"},
      {"two at once",
       [](CallProbe& p) {
         p.espAfterCall += 12;
         p.eflags |= DirectionFlag;
       },
       "HandleKey removed 12 bytes of arguments: it is stdcall, the host calls cdecl; HandleKey "
       "returned with the direction flag set: the host expects it clear"},
  };
  for (const Case& c : cases) {
    CallProbe probe = KeptProbe();
    c.change(probe);
    EXPECT_EQ(CdeclBreach("HandleKey", probe), c.breach) << c.what;
  }
}

TEST(ExceptionText, DescribesWhatEndedACall) {
  using hostkit::DescribeException;
  using hostkit::ExceptionFacts;
  namespace status = hostkit::status;
  EXPECT_EQ(
      DescribeException(ExceptionFacts{status::AccessViolation, 2, {1, 8}, "Crash.dll+0x15b7"}),
      "access violation writing 0x00000008 at Crash.dll+0x15b7");
  EXPECT_EQ(
      DescribeException(ExceptionFacts{status::AccessViolation, 2, {8, 0x401000}, "0x00401000"}),
      "access violation executing 0x00401000 at 0x00401000");
  EXPECT_EQ(
      DescribeException(ExceptionFacts{status::IllegalInstruction, 0, {}, "Crash.dll+0x1501"}),
      "illegal instruction at Crash.dll+0x1501");
  EXPECT_EQ(DescribeException(ExceptionFacts{status::MicrosoftCxxException, 3, {}, "x.dll+0x10"}),
            "unhandled C++ exception at x.dll+0x10");
  EXPECT_EQ(DescribeException(ExceptionFacts{0xE0434352, 0, {}, "x.dll+0x10"}),
            "exception 0xE0434352 at x.dll+0x10");
}

TEST(ExceptionText, NamesHowAProcessEnded) {
  EXPECT_EQ(hostkit::DescribeExitCode(3), "exit code 3");
  EXPECT_EQ(hostkit::DescribeExitCode(0), "exit code 0");
  EXPECT_EQ(hostkit::DescribeExitCode(hostkit::status::StackOverflow),
            "exit code 0xC00000FD, stack overflow");
  EXPECT_EQ(hostkit::DescribeExitCode(0xDEADBEEF), "exit code 0xDEADBEEF");
}

TEST(ExceptionText, FindsTheReportOfAnEscapedCxxException) {
  struct Case {
    const char* output;
    const char* found;
  };
  const Case cases[] = {
      {"terminate called after throwing an instance of 'std::runtime_error'\r\n"
       "  what():  no such key\r\n\r\nabnormal program termination\r\n",
       "std::runtime_error (\"no such key\")"},
      {"terminate called after throwing an instance of 'int'\n", "int"},
      {"terminate called without an active exception\n", "std::terminate with no active exception"},
      {"libc++abi: terminating due to uncaught exception of type std::bad_alloc: out of memory\n",
       "std::bad_alloc (\"out of memory\")"},
      {"some output of the plug-in's own\n", ""},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hostkit::EscapedCxxException(c.output), c.found) << c.output;
}

TEST(ExceptionText, WritesCallsAsTheHostMakesThem) {
  EXPECT_EQ(hostkit::DescribeCall("HandleKey", {0, 7, 1}), "HandleKey(0, 7, 1)");
  EXPECT_EQ(hostkit::DescribeCall("HandleKey", {0xFFFFFFFF, 0x10017, 0xFFFF}),
            "HandleKey(0xFFFFFFFF, 0x00010017, 65535)");
  EXPECT_EQ(hostkit::DescribeCall("WhatKeysDoYouWant", {}), "WhatKeysDoYouWant()");
}

TEST(Strings, HexPadsToAtLeastTheDigitsAsked) {
  const struct {
    std::uint64_t value;
    int minDigits;
    const char* text;
  } cases[] = {
      {0, 1, "0x0"},         {0x1501, 1, "0x1501"},         {42, 8, "0x0000002A"},
      {0x037F, 4, "0x037F"}, {0xC0000005, 4, "0xC0000005"}, {0x1'0000'0000, 8, "0x100000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(strings::Hex(c.value, c.minDigits), c.text) << c.text;
  EXPECT_EQ(strings::Join({}), "");
  EXPECT_EQ(strings::Join({"HandleKey"}), "HandleKey");
  EXPECT_EQ(strings::Join({"AreYouInFocus", "HandleKey"}), "AreYouInFocus, HandleKey");
}

// The words of press, keymap and check for what a HandleKey call did.
TEST(CallText, SaysWhatAnEventDid) {
  constexpr std::uint8_t Ctrl = 0x11;
  constexpr std::uint8_t PageDown = 0x22;
  const std::vector<keytrace::KeyEvent> chord = {
      {Ctrl, true}, {PageDown, true}, {PageDown, false}, {Ctrl, false}};
  EXPECT_EQ(plughost::DescribeOutcome(1, chord), "Ctrl+PgDn");
  EXPECT_EQ(plughost::DescribeOutcome(1, {}), "handled, no keystroke");
  EXPECT_EQ(plughost::DescribeOutcome(0, {}), "not handled");
  EXPECT_EQ(plughost::DescribeOutcome(0, chord), "not handled, yet sent Ctrl+PgDn");
  EXPECT_EQ(plughost::DescribeOutcome(0xFFFFFFFF, chord), "returned -1, sent Ctrl+PgDn");
  EXPECT_EQ(plughost::DescribeKey(25, 1), "key 25");
  EXPECT_EQ(plughost::DescribeKey(25, 2), "key 25:2");

  const std::string call = plughost::Describe({0, 30, 1});
  EXPECT_EQ(call, "HandleKey(0, 30, 1)");
  EXPECT_EQ(plughost::HandleKeyBreach(call, 1, {}), "");
  EXPECT_EQ(plughost::HandleKeyBreach(call, 0, {Ctrl}),
            "HandleKey(0, 30, 1) left Ctrl down (plughost released it)");
  EXPECT_EQ(plughost::HandleKeyBreach(call, 2, {Ctrl, PageDown}),
            "HandleKey(0, 30, 1) returned 2: the host expects 0 or 1; HandleKey(0, 30, 1) left "
            "Ctrl and PgDn down (plughost released them)");
}

TEST(CallText, WritesASeriesAsShortlyAsItCan) {
  const struct {
    std::vector<plughost::HandleKeyCall> series;
    const char* text;
  } cases[] = {
      {{{0, 28, 1}, {0, 1, 1}, {0, 2, 1}}, "events 28, 1, 2 (state 1)"},
      {{{0, 25, 2}}, "event 25 (state 2)"},
      {{{0, 25, 2}, {0, 7, 1}}, "events 25:2, 7"},
      {{{0, 7, 1}, {1, 0x10007, 1}}, "events HandleKey(0, 7, 1), HandleKey(1, 0x00010007, 1)"},
  };
  for (const auto& c : cases) EXPECT_EQ(plughost::DescribeSeries(c.series), c.text);
}

}  // namespace
