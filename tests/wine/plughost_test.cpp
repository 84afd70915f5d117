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
      {"info dll_smoke_test.exe", "", 1, "plughost: the DLL does not export AreYouInFocus"},
      {"press --target MissingExportPlugin.dll 31", "", 1,
       "plughost: the DLL does not export HandleKey"},
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
}

TEST_F(Plughost, HelpDocumentsEveryCommand) {
  const ProgramRun run = Run("--help");
  EXPECT_EQ(run.exitCode, 0u);
  for (const char* word : {"info", "press", "keymap", "about", "--target", "KEY[:STATE]",
                           "standard input", "Exit status"}) {
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
