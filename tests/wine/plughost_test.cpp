// plughost as a user runs it: each command in its own process, its output and exit status
// checked, and no key ever left down afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tests/wine/run_program.h"
#include "tools/hostkit/window_closer.h"
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
    // The box is the plug-in worker's, a process of plughost's own.
    const hostkit::WindowCloser closer(hostkit::WindowCloser::AnyProcess,
                                       hostkit::WindowCloser::Closes::Dialogs);
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
      {"check --list Morlune.dll", "", 2, "plughost: check --list takes no DLL"},
      {"info --json Morlune.dll", "", 2, "plughost: --list, --json, --junit, --include, "},
      {"check --include ( Morlune.dll", "", 2,
       "plughost: bad regular expression '(' for --include"},
      {"check --seed x Morlune.dll", "", 2, "plughost: bad number 'x' for --seed"},
      {"check --events 0 Morlune.dll", "", 2, "plughost: bad number '0' for --events"},
      {"check --junit", "", 2, "plughost: --junit needs a value"},
      {"check NoPlugins", "", 2, "plughost: no DLL in the folder NoPlugins"},
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
  for (const char* sign :
       {"Unhandled", "starting debugger", "wine: ", "terminate called", "requested the Runtime"}) {
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
      {"press --target ExitProcessPlugin.dll 1 5 1", "key 1 -> F5\n",
       "plughost: HandleKey(0, 5, 1) ended the process (exit code 3)\n"},
      {"press --target CxxThrowPlugin.dll 1 5 1", "key 1 -> F5\n",
       "plughost: HandleKey(0, 5, 1) threw a C++ exception, std::runtime_error (\"no such key\"), "
       "which ended the process (exit code 3)\n"},
      // The worker restores the flag after every call, so the session goes on unharmed.
      {"press --target DirectionFlagPlugin.dll 1 30 1",
       "key 1 -> F5\nkey 30 -> Ctrl+PgUp\nkey 1 -> F5\n",
       "plughost: HandleKey returned with the direction flag set: the host expects it clear\n"},
      {"press --target X87StackPlugin.dll 1 1", "key 1 -> F5\nkey 1 -> F5\n",
       "plughost: HandleKey left 1 value on the x87 register stack"},
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

// Each sample plug-in has one fault, and check names it in a FAIL line. Where the fault ends the
// worker, every check runs all the same, the last included, each in a worker of its own; the
// others are run through the checks that find them.
TEST_F(Plughost, CheckFailsEachFaultyPluginOnItsFault) {
  struct Case {
    const char* dll;
    const char* failLine;
    const char* checks;  // a pattern for --include; null: every check
  };
  const std::string crash =
      "FAIL  HandleKey, target open  HandleKey(0, 7, 1) crashed: " + WriteToAddress8() +
      " at CrashPlugin.dll+0x";
  const std::string unloadFault = "FAIL  load                    unloading raised " +
                                  WriteToAddress8() + " at UnloadFaultPlugin.dll+0x";
  const Case cases[] = {
      {"CrashPlugin.dll", crash.c_str(), nullptr},
      {"HangPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 7, 1) did not return within 1 s\n", nullptr},
      {"CxxThrowPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 5, 1) threw a C++ exception, "
       "std::runtime_error (\"no such key\"), which ended the process (exit code 3)\n",
       nullptr},
      {"ExitProcessPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 5, 1) ended the process (exit code 3)\n",
       nullptr},
      {"ConfigureCrashPlugin.dll", "FAIL  Configure               Configure(0x", nullptr},
      {"StdcallPlugin.dll",
       "FAIL  cdecl                   HandleKey removed 12 bytes of arguments: it is stdcall, the "
       "host calls cdecl\n",
       "cdecl"},
      {"ClobberPlugin.dll", "FAIL  cdecl                   HandleKey changed EBX", "cdecl"},
      {"DirectionFlagPlugin.dll",
       "FAIL  cdecl                   HandleKey returned with the direction flag set: the host "
       "expects it clear\n",
       "cdecl"},
      {"X87StackPlugin.dll",
       "FAIL  cdecl                   HandleKey left 1 value on the x87 register stack: the host "
       "expects it empty after a call that returns an integer\n",
       "cdecl"},
      {"StuckKeyPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 30, 1) left Ctrl down (plughost released it)\n",
       "target open"},
      {"BadResultPlugin.dll",
       "FAIL  HandleKey, target open  HandleKey(0, 1, 1) returned 2: the host expects 0 or 1\n",
       "target open"},
      // A fault no single event or pair of events shows, found and shrunk to its three events.
      {"SequencePlugin.dll",
       "FAIL  event sequences         events 28, 1, 2 (state 1) leave Shift down; seed 1\n",
       "sequences"},
      {"UnloadFaultPlugin.dll", unloadFault.c_str(), "load"},
      {"MissingExportPlugin.dll", "FAIL  exports                 does not export HandleKey",
       "exports"},
      {"DecoratedPlugin.dll",
       "FAIL  exports                 exports AreYouInFocus@0, Configure@4, "
       "EnumerateProgrammableFunction@8, HandleKey@12, WhatKeysDoYouWant@0: stdcall-decorated "
       "names; the host looks them up undecorated\n",
       "exports"},
      {"FailingDllMainPlugin.dll", "FAIL  load                    cannot load ", "load"},
      {"NotAPlugin.dll", "FAIL  file                    not a PE file", "file"},
  };
  for (const Case& c : cases) {
    // A short limit only where a hang is the fault: elsewhere a slow machine, or Wine through
    // qemu-user, must not turn a call that returns into a different FAIL.
    const bool hangs = std::string(c.dll) == "HangPlugin.dll";
    std::string arguments =
        std::string("check --seed 1 --events 300 ") + (hangs ? "--timeout 1 " : "");
    if (c.checks != nullptr) arguments += std::string("--include \"") + c.checks + "\" ";
    arguments += c.dll;
    const ProgramRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 1u) << arguments << "\n" << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, c.failLine))
        << arguments << "\nexpected: " << c.failLine << "\nin:\n"
        << run.out;
    EXPECT_TRUE(Contains(run.out, std::string("\n") + c.dll + ": ")) << "no summary:\n" << run.out;
    if (c.checks == nullptr) {
      EXPECT_TRUE(Contains(run.out, "  reload  ")) << arguments << "\n" << run.out;
      EXPECT_FALSE(Contains(run.out, "SKIP  ")) << arguments << "\n" << run.out;
    }
    ExpectNoCrashReport(run, arguments);
  }
  EXPECT_TRUE(Contains(Run("check --include Configure ConfigureCrashPlugin.dll").out,
                       " crashed: " + WriteToAddress8() + " at ConfigureCrashPlugin.dll+0x"));
  // What cannot load cannot be called: the checks that need it say why.
  const ProgramRun missing =
      Run("check --include \"^(exports|load|cdecl)$\" MissingExportPlugin.dll");
  EXPECT_TRUE(Contains(missing.out, "SKIP  cdecl                   the DLL did not load: "))
      << missing.out;
}

// Keys a thread of the plug-in sends after the call returned are laid at the door of the call
// that started it, and of no other.
TEST_F(Plughost, CheckNamesTheCallThatSendsKeysLate) {
  const ProgramRun run = Run("check --seed 1 LateKeyPlugin.dll");
  EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
  const std::string line = "WARN  HandleKey, target open  F2↓ F2↑ came ";
  const std::size_t at = run.out.find(line);
  ASSERT_NE(at, std::string::npos) << run.out;
  const std::string rest =
      run.out.substr(at + line.size(), run.out.find('\n', at) - at - line.size());
  EXPECT_TRUE(Contains(rest, " ms after HandleKey(0, 2, 1) returned, outside any call")) << rest;
  // The one line, and no other call blamed for the key anywhere else.
  EXPECT_EQ(run.out.find("F2", at + line.size() + rest.size()), std::string::npos) << run.out;
  EXPECT_EQ(run.out.rfind("F2", at), std::string::npos) << run.out;
  EXPECT_FALSE(Contains(run.out, "FAIL  ")) << run.out;
}

TEST_F(Plughost, CheckPassesACorrectPlugin) {
  for (const char* dll : {"Morlune.dll", "GoodPlugin.dll"}) {
    const ProgramRun run = Run(std::string("check --seed 1 ") + dll);
    EXPECT_EQ(run.exitCode, 0u) << dll << "\n" << run.out << run.err;
    EXPECT_FALSE(Contains(run.out, "FAIL  ")) << run.out;
    EXPECT_FALSE(Contains(run.out, "WARN  ")) << run.out;
    EXPECT_TRUE(Contains(run.out, std::string(dll) + ": ")) << run.out;
    EXPECT_FALSE(Contains(run.out, "SKIP  ")) << run.out;
    EXPECT_TRUE(Contains(run.out, "NOTE  imports ")) << run.out;
    for (const char* check :
         {"file", "ASLR and DEP", "exports", "load", "cdecl", "WhatKeysDoYouWant",
          "programmable functions", "HandleKey, target open", "HandleKey, no target",
          "event sequences", "AreYouInFocus", "Configure", "reload"}) {
      EXPECT_TRUE(Contains(run.out, "PASS  " + std::string(check) + " ")) << check << "\n"
                                                                          << run.out;
    }
  }
}

// The event sequences of a run are replayed from its seed: the same series fail the same way.
TEST_F(Plughost, CheckReplaysItsEventSequencesFromTheSeed) {
  const ProgramRun first = Run("check --include sequences --events 300 SequencePlugin.dll");
  const std::size_t at = first.out.find("; seed ");
  ASSERT_NE(at, std::string::npos) << first.out;
  const std::string seed = first.out.substr(at + 7, first.out.find('\n', at) - at - 7);
  const ProgramRun again =
      Run("check --include sequences --events 300 --seed " + seed + " SequencePlugin.dll");
  EXPECT_EQ(again.out, first.out);
  EXPECT_EQ(again.exitCode, first.exitCode);
}

// What a build pipeline sets: which checks run, whether a WARN fails, several plug-ins at once.
TEST_F(Plughost, CheckSelectsChecksAndTalliesPlugins) {
  const ProgramRun chosen =
      Run("check --include \"^(file|exports|load)$\" --exclude load Morlune.dll");
  EXPECT_EQ(chosen.exitCode, 0u) << chosen.out << chosen.err;
  EXPECT_EQ(
      chosen.out,
      "PASS  file                    32-bit Windows DLL (i386)\n"
      "PASS  exports                 AreYouInFocus, Configure, EnumerateProgrammableFunction, "
      "HandleKey, WhatKeysDoYouWant\n"
      "Morlune.dll: 2 PASS, 0 WARN, 0 FAIL, 0 SKIP\n");

  // A target class of the plug-in's own: GoodPlugin looks for Morlune's, so it sees none.
  const std::string warned = "--include AreYouInFocus --target-class SomeOtherApp GoodPlugin.dll";
  const ProgramRun other = Run("check " + warned);
  EXPECT_EQ(other.exitCode, 0u);
  EXPECT_TRUE(Contains(other.out, "WARN  AreYouInFocus           0 with a \"SomeOtherApp\" window"))
      << other.out;
  EXPECT_EQ(Run("check --warnings-as-errors " + warned).exitCode, 1u);

  // A folder stands for every DLL in it; one of the two fails.
  const ProgramRun folder = Run("check --include exports Morlune.dll TwoPlugins");
  EXPECT_EQ(folder.exitCode, 1u) << folder.out;
  EXPECT_TRUE(Contains(folder.out, "\nGoodPlugin.dll: 1 PASS, 0 WARN, 0 FAIL, 0 SKIP\n"))
      << folder.out;
  EXPECT_TRUE(Contains(folder.out, "\nMissingExportPlugin.dll: 0 PASS, 0 WARN, 1 FAIL, 0 SKIP\n"))
      << folder.out;
  EXPECT_TRUE(Contains(folder.out, "\n\n3 plug-ins checked: 2 passed, 1 failed\n")) << folder.out;
}

TEST_F(Plughost, VersionIsTheProjects) {
  const char* version = std::getenv("MORLUNE_VERSION");
  ASSERT_NE(version, nullptr) << "MORLUNE_VERSION is not set";
  const ProgramRun run = Run("--version");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.out, std::string("plughost ") + version + "\n");
}

TEST_F(Plughost, HelpDocumentsEveryCommand) {
  const ProgramRun run = Run("--help");
  EXPECT_EQ(run.exitCode, 0u);
  for (const char* word :
       {"info",           "press",      "keymap", "about",     "check",     "--target",
        "--target-class", "--timeout",  "--list", "--include", "--exclude", "--warnings-as-errors",
        "--json",         "--junit",    "--seed", "--events",  "--version", "KEY[:STATE]",
        "standard input", "Exit status"}) {
    EXPECT_TRUE(Contains(run.out, word)) << word;
  }
}

// The lines of the README between <!-- NAME begin --> and <!-- NAME end -->.
std::string ReadmeBlock(const std::string& name) {
  const char* readmePath = std::getenv("MORLUNE_README");
  if (readmePath == nullptr) return "MORLUNE_README is not set";
  std::ifstream readme(std::string(readmePath[0] == '/' ? "Z:" : "") + readmePath);
  std::string block;
  bool inside = false;
  for (std::string line; std::getline(readme, line);) {
    if (line == "<!-- " + name + " end -->") inside = false;
    if (inside) block += line + "\n";
    if (line == "<!-- " + name + " begin -->") inside = true;
  }
  return block;
}

// The README's key map is what the DLL really does.
TEST_F(Plughost, KeymapMatchesTheReadme) {
  const std::string documented = ReadmeBlock("keymap");
  ASSERT_FALSE(documented.empty()) << "no key map between the keymap markers in the README";
  const ProgramRun run = Run("keymap Morlune.dll");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, documented);
}

// The README's table of checks is check's own list.
TEST_F(Plughost, ChecksMatchTheReadme) {
  std::istringstream documented(ReadmeBlock("checks"));
  std::string listed;
  for (std::string row; std::getline(documented, row);) {
    // | `name` | description |
    const std::size_t nameEnd = row.find("` | ");
    if (row.rfind("| `", 0) != 0 || nameEnd == std::string::npos) continue;
    char name[32];
    std::snprintf(name, sizeof name, "%-24s", row.substr(3, nameEnd - 3).c_str());
    listed += name + row.substr(nameEnd + 4, row.size() - nameEnd - 6) + "\n";
  }
  ASSERT_FALSE(listed.empty()) << "no table between the checks markers in the README";
  const ProgramRun run = Run("check --list");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, listed);
}

}  // namespace
