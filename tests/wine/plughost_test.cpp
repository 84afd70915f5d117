// plughost as a user runs it: each command in its own process, its output and exit status
// checked, and no key ever left down afterwards.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/wine/dialog_closer.h"
#include "tests/wine/run_program.h"
#include "tools/keytrace/key_trace.h"

namespace {

class Plughost : public ::testing::Test {
 protected:
  static ProgramRun Run(const std::string& arguments, const std::string& input = "") {
    ProgramRun run;
    std::string error;
    EXPECT_TRUE(RunProgramBesideThisOne("plughost.exe", arguments, input, run, error)) << error;
    for (int vk = 1; vk < 256; ++vk) {
      EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0)
          << "plughost " << arguments << " left " << keytrace::KeyName(vk) << " down";
    }
    return run;
  }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Plughost, InfoShowsExportsVersionAndAnswers) {
  const ProgramRun run = Run("info Morlune.dll");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  for (const char* line : {
           // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one expected block, on 2 lines.
           "Exports (module name \"Morlune.dll\"):\n  @1 AreYouInFocus\n  @2 Configure\n"
           "  @3 EnumerateProgrammableFunction\n  @4 HandleKey\n  @5 WhatKeysDoYouWant\n",
           "  file version           1.2.1.0\n",
           "  translation            0409 04b0\n",
           "  FileVersion            \"2.1\"\n",
           "  FileDescription        \"Plugin Remote Wonder pour Morlune 1.99+ \"\n",
           "WhatKeysDoYouWant              0x00003FF8 (bits set: 3 4 5 6 7 8 9 10 11 12 13)\n",
           "EnumerateProgrammableFunction  0\n",
           "AreYouInFocus                  0\n",
       }) {
    EXPECT_TRUE(Contains(run.out, line)) << "missing:\n" << line << "\nin:\n" << run.out;
  }
  EXPECT_TRUE(Contains(Run("info --target Morlune.dll").out, "AreYouInFocus                  1\n"));
}

TEST_F(Plughost, PressShowsWhatEachEventSent) {
  const ProgramRun run = Run("press --target Morlune.dll 31 4 28 1 2 3 4 12 25:2 23:2");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out,
            "key 31 -> Ctrl+PgDn\n"
            "key 4 -> Num4\n"
            "key 28 -> handled, no keystroke\n"
            "key 1 -> Ctrl+Num1\n"
            "key 2 -> Ctrl+Num2\n"
            "key 3 -> Ctrl+Num3\n"
            "key 4 -> Num4\n"
            "key 12 -> not handled\n"
            "key 25:2 -> F11\n"
            "key 23:2 -> not handled\n");
}

TEST_F(Plughost, PressReadsEventsFromStandardInput) {
  const ProgramRun run =
      Run("press --target Morlune.dll", "# a session\n28\n4   # with Ctrl\n\n25:2\r\n");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "key 28 -> handled, no keystroke\nkey 4 -> Ctrl+Num4\nkey 25:2 -> F11\n");

  // Lines of any length, and a last line without a line feed.
  const ProgramRun longLine =
      Run("press --target Morlune.dll", "23 #" + std::string(600, '-') + "\n31");
  EXPECT_EQ(longLine.exitCode, 0u) << longLine.err;
  EXPECT_EQ(longLine.out, "key 23 -> F6\nkey 31 -> Ctrl+PgDn\n");
}

TEST_F(Plughost, PressSaysPlainlyWhenThereIsNoTarget) {
  const ProgramRun run = Run("press Morlune.dll 31");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_TRUE(Contains(run.out, "No window of class \"ThunderRT6FormDC\" exists")) << run.out;
  EXPECT_TRUE(Contains(run.out, "nothing will be sent")) << run.out;
  EXPECT_TRUE(Contains(run.out, "key 31 -> not handled\n")) << run.out;
}

TEST_F(Plughost, AboutReportsWhatConfigureReturned) {
  ProgramRun run;
  {
    const DialogCloser closer(DialogCloser::Scope::AboutBoxOfAnyProcess);
    run = Run("about Morlune.dll");
  }
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "Configure returned 1\n");
}

TEST_F(Plughost, BadInputGetsOneLineAndAnExitStatus) {
  struct Case {
    const char* arguments;
    const char* input;
    DWORD exitCode;
    const char* message;
  };
  const Case cases[] = {
      {"", "", 2, "plughost: no command given"},
      {"frobnicate Morlune.dll", "", 2, "plughost: unknown command 'frobnicate'"},
      {"info", "", 2, "plughost: info needs the path of a plug-in DLL"},
      {"press --target Morlune.dll 3x", "", 2, "plughost: bad key '3x'"},
      {"press --target Morlune.dll 65536", "", 2, "plughost: bad key '65536'"},
      {"press --target Morlune.dll 25:70000", "", 2, "plughost: bad key '25:70000'"},
      {"press --target Morlune.dll -5", "", 2, "plughost: bad key '-5'"},
      {"press --target Morlune.dll", "# first\nthirty\n31\n", 2,
       "plughost: line 2: bad key 'thirty'"},
      {"info --verbose Morlune.dll", "", 2, "plughost: unknown option '--verbose'"},
      {"info NoSuchPlugin.dll", "", 1, "plughost: cannot load "},
      {"info NotAPlugin.dll", "", 1, "plughost: cannot load "},
      {"info dll_smoke_test.exe", "", 1,
       "plughost: the DLL does not export AreYouInFocus, Configure, "
       "EnumerateProgrammableFunction, HandleKey, WhatKeysDoYouWant"},
      {"press --target MissingExportPlugin.dll 31", "", 1,
       "plughost: the DLL does not export HandleKey"},
      {"press --target DecoratedPlugin.dll 31", "", 1,
       "plughost: the DLL exports AreYouInFocus@0, Configure@4, EnumerateProgrammableFunction@8, "
       "HandleKey@12, WhatKeysDoYouWant@0: stdcall-decorated names; the host looks them up "
       "undecorated"},
      {"info FailingDllMainPlugin.dll", "", 1, "plughost: cannot load "},
      {"check --timeout 0 Morlune.dll", "", 2, "plughost: bad timeout '0'"},
      {"check --target-class", "", 2, "plughost: --target-class needs a value"},
      {"check --target Morlune.dll", "", 2, "plughost: --target goes with info and press"},
      {"check", "", 2, "plughost: check needs the path of a plug-in DLL"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Run(c.arguments, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode) << "plughost " << c.arguments;
    EXPECT_EQ(run.err.rfind(c.message, 0), 0u)
        << "plughost " << c.arguments << "\nexpected to start with: " << c.message
        << "\nseen: " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1)
        << "plughost " << c.arguments << ": " << run.err;
    EXPECT_EQ(run.out, "") << "plughost " << c.arguments;
  }
}

TEST_F(Plughost, UnloadableFileGivesTheSystemsReason) {
  const ProgramRun run = Run("info NoSuchPlugin.dll");
  EXPECT_TRUE(Contains(run.err, "NoSuchPlugin.dll: ")) << run.err;
  EXPECT_TRUE(Contains(run.err, "(error 126)")) << run.err;
  // The system's message has its file filled in, never a bare "%1".
  const ProgramRun notADll = Run("info NotAPlugin.dll");
  EXPECT_FALSE(Contains(notADll.err, "%")) << notADll.err;
  EXPECT_TRUE(Contains(notADll.err, "(error 193)")) << notADll.err;
  EXPECT_TRUE(Contains(Run("info FailingDllMainPlugin.dll").err, "its DllMain reported failure"));
}

// What no run may show: the runtime's own crash report instead of plughost's line.
void ExpectNoCrashReport(const ProgramRun& run, const std::string& what) {
  for (const char* sign : {"Unhandled", "starting debugger", "wine: "}) {
    EXPECT_FALSE(Contains(run.err, sign)) << what << ":\n" << run.err;
  }
}

// How the sample plug-ins' write to address 8 is reported. Wine's 32-bit loader run by qemu-user
// (MORLUNE_WINE_VIA, from the Wine fixture) turns that fault into an illegal instruction, at the
// same place, with no address written to.
std::string WriteToAddress8() {
  const char* via = std::getenv("MORLUNE_WINE_VIA");
  return via != nullptr && std::string(via) == "qemu" ? "illegal instruction"
                                                      : "access violation writing 0x00000008";
}

// A session goes on as far as the plug-in lets it: the events before a fault or a hang are
// played and shown, and so is every broken part of the contract.
TEST_F(Plughost, PressSurvivesWhatAPluginDoesWrong) {
  struct Case {
    const char* arguments;
    const char* out;
    const char* err;
  };
  const std::string crash =
      "plughost: HandleKey(0, 7, 1) crashed: " + WriteToAddress8() + " at CrashPlugin.dll+0x";
  const Case cases[] = {
      {"press --target CrashPlugin.dll 1 30 7 1", "key 1 -> F5\nkey 30 -> Ctrl+PgUp\n",
       crash.c_str()},
      {"press --timeout 1 --target HangPlugin.dll 1 7 1", "key 1 -> F5\n",
       "plughost: HandleKey(0, 7, 1) did not return within 1 s\n"},
      {"press --target StdcallPlugin.dll 1 1", "key 1 -> F5\nkey 1 -> F5\n",
       "plughost: HandleKey removed 12 bytes of arguments: it is stdcall, the host calls cdecl\n"},
      {"press --target ClobberPlugin.dll 1", "key 1 -> F5\n",
       "plughost: HandleKey changed EBX (0xB0B0B0B0 before the call, "},
      {"press --target StuckKeyPlugin.dll 30 1", "key 30 -> Ctrl↓ PgUp↓ PgUp↑\nkey 1 -> F5\n",
       "plughost: HandleKey(0, 30, 1) left Ctrl down (plughost released it)\n"},
      {"press --target BadResultPlugin.dll 1 7", "key 1 -> returned 2, sent F5\nkey 7 -> F6\n",
       "plughost: HandleKey(0, 1, 1) returned 2: the host expects 0 or 1\n"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Run(c.arguments);
    EXPECT_EQ(run.exitCode, 1u) << c.arguments << "\n" << run.err;
    EXPECT_EQ(run.out, c.out) << c.arguments;
    EXPECT_TRUE(Contains(run.err, c.err))
        << c.arguments << "\nexpected: " << c.err << "\nseen: " << run.err;
    ExpectNoCrashReport(run, c.arguments);
  }
}

// Each sample plug-in has one fault, and check names it in a FAIL line.
TEST_F(Plughost, CheckFailsEachFaultyPluginOnItsFault) {
  struct Case {
    const char* dll;
    const char* failLine;
  };
  const std::string crash =
      "FAIL  HandleKey, target open  HandleKey(0, 7, 1) crashed: " + WriteToAddress8() +
      " at CrashPlugin.dll+0x";
  const Case cases[] = {
      {"CrashPlugin.dll", crash.c_str()},
      {"HangPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 7, 1) did not return within 1 s\n"},
      {"StdcallPlugin.dll",
       "FAIL  cdecl                   HandleKey removed 12 bytes of arguments: it is stdcall, the "
       "host calls cdecl\n"},
      {"ClobberPlugin.dll", "FAIL  cdecl                   HandleKey changed EBX"},
      {"StuckKeyPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 30, 1) left Ctrl down (plughost released it)\n"},
      {"BadResultPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 1, 1) returned 2: the host expects 0 or 1\n"},
      {"MissingExportPlugin.dll", "FAIL  exports                 does not export HandleKey"},
      {"DecoratedPlugin.dll",
       "FAIL  exports                 exports AreYouInFocus@0, Configure@4, "
       "EnumerateProgrammableFunction@8, HandleKey@12, WhatKeysDoYouWant@0: stdcall-decorated "
       "names; the host looks them up undecorated\n"},
      {"FailingDllMainPlugin.dll", "FAIL  load                    cannot load "},
      {"ConfigureCrashPlugin.dll", "FAIL  Configure               Configure(0x"},
      {"NotAPlugin.dll", "FAIL  file                    not a PE file"},
  };
  for (const Case& c : cases) {
    // A short limit only where a hang is the fault: elsewhere a slow machine, or Wine through
    // qemu-user, must not turn a call that returns into a different FAIL.
    const bool hangs = std::string(c.dll) == "HangPlugin.dll";
    const std::string arguments = std::string("check ") + (hangs ? "--timeout 1 " : "") + c.dll;
    const ProgramRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 1u) << arguments << "\n" << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, c.failLine))
        << arguments << "\nexpected: " << c.failLine << "\nin:\n"
        << run.out;
    EXPECT_TRUE(Contains(run.out, std::string("\n") + c.dll + ": ")) << "no summary:\n" << run.out;
    ExpectNoCrashReport(run, arguments);
  }
  EXPECT_TRUE(Contains(Run("check ConfigureCrashPlugin.dll").out,
                       " crashed: " + WriteToAddress8() + " at ConfigureCrashPlugin.dll+0x"));
}

TEST_F(Plughost, CheckPassesACorrectPlugin) {
  for (const char* dll : {"Morlune.dll", "GoodPlugin.dll"}) {
    const ProgramRun run = Run(std::string("check ") + dll);
    EXPECT_EQ(run.exitCode, 0u) << dll << "\n" << run.out << run.err;
    EXPECT_FALSE(Contains(run.out, "FAIL  ")) << run.out;
    EXPECT_FALSE(Contains(run.out, "WARN  ")) << run.out;
    EXPECT_TRUE(Contains(run.out, std::string(dll) + ": ")) << run.out;
    for (const char* check :
         {"file", "imports", "ASLR and DEP", "exports", "load", "cdecl", "WhatKeysDoYouWant",
          "programmable functions", "HandleKey, target open", "HandleKey, no target",
          "AreYouInFocus", "Configure", "reload"}) {
      EXPECT_TRUE(Contains(run.out, "PASS  " + std::string(check) + " ")) << check << "\n"
                                                                          << run.out;
    }
  }
  // A target class of the plug-in's own: GoodPlugin looks for Morlune's, so it sees none.
  const ProgramRun other = Run("check --target-class SomeOtherApp GoodPlugin.dll");
  EXPECT_TRUE(Contains(other.out, "WARN  AreYouInFocus           0 with a \"SomeOtherApp\" window"))
      << other.out;
}

TEST_F(Plughost, HelpDocumentsEveryCommand) {
  const ProgramRun run = Run("--help");
  EXPECT_EQ(run.exitCode, 0u);
  for (const char* word :
       {"info", "press", "keymap", "about", "check", "--target", "--target-class", "--timeout",
        "KEY[:STATE]", "standard input", "Exit status"}) {
    EXPECT_TRUE(Contains(run.out, word)) << word;
  }
}

// The README's key map is what the DLL really does.
TEST_F(Plughost, KeymapMatchesTheReadme) {
  const char* readmePath = std::getenv("MORLUNE_README");
  ASSERT_NE(readmePath, nullptr) << "MORLUNE_README is not set";
  std::ifstream readme(std::string(readmePath[0] == '/' ? "Z:" : "") + readmePath);
  ASSERT_TRUE(readme) << "cannot read " << readmePath;
  std::string documented;
  bool inside = false;
  for (std::string line; std::getline(readme, line);) {
    if (line == "<!-- keymap end -->") inside = false;
    if (inside) documented += line + "\n";
    if (line == "<!-- keymap begin -->") inside = true;
  }
  ASSERT_FALSE(documented.empty()) << "no key map between the keymap markers in the README";

  const ProgramRun run = Run("keymap Morlune.dll");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, documented);
}

}  // namespace
