// plughost: drives a Remote Wonder plug-in DLL the way the host program does, and shows what
// it sends. See --help.

#include <cstdio>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tools/hostkit/plugin_worker.h"
#include "tools/plughost/commands.h"

namespace {

constexpr const char* Help = R"(plughost - drive a Remote Wonder plug-in DLL the way the host does

Usage:
  plughost info [--target] DLL          exports, version block and the plug-in's answers
  plughost press [--target] DLL [KEY[:STATE] ...]
                                        call HandleKey for each event and show what was sent
  plughost keymap DLL                   probe key codes 0-65535 in states 1 and 2 and print
                                        the key map as a Markdown table
  plughost about DLL                    call Configure (shows the About box) and print its result
  plughost check [CHECK OPTIONS] DLL|FOLDER ...
                                        check that each plug-in (every DLL of a folder) keeps
                                        the host's contract: one PASS, WARN, FAIL, SKIP or NOTE
                                        line per finding, a summary each, then a tally
  plughost check --list [--json]        the checks, one a line
  plughost --help                       this text
  plughost --version                    plughost's version

KEY and STATE are decimal numbers from 0 to 65535; STATE is 1 when not given.
With no KEY, press reads events from standard input, one KEY[:STATE] a line; '#' starts a
comment.

Options:
  --target              opens a stand-in window of the target class for the session, for
                        when Morlune is not running. Without a window of that class the
                        plug-in handles nothing.
  --target-class NAME   the window class of the plug-in's application (default
                        "%s", Morlune's), for --target, keymap and check
  --timeout SECONDS     how long one call into the plug-in may take (default 5; about waits
                        for the user unless given)

Check options:
  --include REGEX       run only the checks whose names REGEX finds (ECMAScript syntax)
  --exclude REGEX       leave out the checks whose names REGEX finds; wins over --include
  --warnings-as-errors  a WARN fails the plug-in too
  --json                one JSON document on standard output instead of the text
  --junit FILE          also write JUnit XML to FILE, a test case per check
  --seed N              the seed of the event sequences (printed by every run), to replay it
  --events N            how many random events the event sequences try (default 2000)
keymap and check open their own stand-in and swallow every keystroke they provoke, so nothing
reaches any window.

The plug-in is loaded and called only in a worker process that plughost supervises: a call
that crashes, does not return in time, throws a C++ exception or ends the process is reported
in one line and plughost ends (check goes on with its other checks); a callee that breaks the
cdecl convention (ESP, EBX, ESI, EDI, EBP, the direction flag, the x87 stack and control word,
MXCSR, the handler chain), returns something other than 0 or 1 from HandleKey, leaves a key
down (plughost releases it) or sends keys while no call runs is reported too.

Exit status: 0 done; 1 the DLL could not be loaded, crashed, hung or broke the host's contract
(for check: a FAIL); 2 a bad command line or input.
)";

// A whole decimal number that fits 32 bits.
std::optional<std::uint32_t> ParseCount(const std::string& text) {
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long long value = std::stoull(text);
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "plughost: %s (see plughost --help)\n", problem.c_str());
  return plughost::UsageFailure;
}

}  // namespace

namespace {

int Run(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // plughost starts itself in this mode for every plug-in it loads.
  if (!arguments.empty() && arguments.front() == hostkit::WorkerOption) {
    return hostkit::RunPluginWorker({arguments.begin() + 1, arguments.end()});
  }
  if (arguments.empty()) return Usage("no command given");
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      std::printf(Help, hostkit::MorluneWindowClass);
      return plughost::Success;
    }
  }

  if (arguments.front() == "--version") {
    std::printf("plughost %s\n", PLUGHOST_VERSION);
    return plughost::Success;
  }

  const std::string command = arguments.front();
  plughost::CommandLine commandLine;
  plughost::CheckOptions& check = commandLine.check;
  std::vector<std::string> rest;
  bool checkOption = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue = argument == "--target-class" || argument == "--timeout" ||
                            argument == "--junit" || argument == "--include" ||
                            argument == "--exclude" || argument == "--seed" ||
                            argument == "--events";
    if (takesValue && i + 1 == arguments.size()) return Usage(argument + " needs a value");
    const bool checkOnly = argument == "--list" || argument == "--json" || argument == "--junit" ||
                           argument == "--include" || argument == "--exclude" ||
                           argument == "--warnings-as-errors" || argument == "--seed" ||
                           argument == "--events";
    checkOption = checkOption || checkOnly;
    if (argument == "--target") {
      commandLine.openTarget = true;
    } else if (argument == "--target-class") {
      commandLine.targetClass = arguments[++i];
      if (commandLine.targetClass.empty()) return Usage("--target-class needs a class name");
    } else if (argument == "--timeout") {
      std::string error;
      const auto timeout = plughost::ParseTimeoutArgument(arguments[++i], error);
      if (!timeout) return Usage(error);
      commandLine.timeoutMs = *timeout;
      commandLine.timeoutGiven = true;
    } else if (argument == "--list") {
      check.list = true;
    } else if (argument == "--json") {
      check.json = true;
    } else if (argument == "--warnings-as-errors") {
      check.warningsAsErrors = true;
    } else if (argument == "--junit") {
      check.junitPath = arguments[++i];
    } else if (argument == "--include" || argument == "--exclude") {
      const std::string& pattern = arguments[++i];
      try {
        const std::regex compiled(pattern);
      } catch (const std::regex_error&) {
        return Usage("bad regular expression '" + pattern + "' for " += argument);
      }
      (argument == "--include" ? check.include : check.exclude) = pattern;
    } else if (argument == "--seed" || argument == "--events") {
      const std::string& text = arguments[++i];
      const auto number = ParseCount(text);
      if (!number || (argument == "--events" && *number == 0)) {
        return Usage("bad number '" + text + "' for " += argument);
      }
      if (argument == "--seed") {
        check.seed = *number;
      } else {
        check.events = *number;
      }
    } else if (argument.rfind("--", 0) == 0) {
      return Usage("unknown option '" + argument + "'");
    } else {
      rest.push_back(argument);
    }
  }
  if (command != "info" && command != "press" && command != "keymap" && command != "about" &&
      command != "check") {
    return Usage("unknown command '" + command + "'");
  }
  if (checkOption && command != "check") {
    return Usage(
        "--list, --json, --junit, --include, --exclude, --warnings-as-errors, --seed "
        "and --events go with check");
  }
  if (commandLine.openTarget && command != "info" && command != "press") {
    return Usage("--target goes with info and press");
  }
  if (command == "check") {
    if (check.list) {
      if (!rest.empty()) return Usage("check --list takes no DLL");
      return plughost::Check(commandLine);
    }
    if (rest.empty()) return Usage("check needs the path of a plug-in DLL");
    check.paths = rest;
    return plughost::Check(commandLine);
  }
  if (rest.empty()) return Usage(command + " needs the path of a plug-in DLL");
  commandLine.dllPath = rest.front();
  rest.erase(rest.begin());

  if (command == "press") {
    if (rest.empty()) return plughost::PressFromInput(commandLine, stdin);
    std::vector<plughost::KeyArgument> keys;
    for (const std::string& text : rest) {
      std::string error;
      const auto key = plughost::ParseKeyArgument(text, error);
      if (!key) return Usage(error);
      keys.push_back(*key);
    }
    return plughost::Press(commandLine, keys);
  }
  if (!rest.empty()) return Usage(command + " takes only the DLL, not '" + rest.front() + "'");
  if (command == "info") return plughost::Info(commandLine);
  if (command == "keymap") return plughost::Keymap(commandLine);
  return plughost::About(commandLine);
}

}  // namespace

int main(int argc, char** argv) {
  // plughost's own failures, too, are one line and an exit status, never a runtime's report.
  try {
    return Run(argc, argv);
  } catch (const std::exception& exception) {
    std::fflush(stdout);
    std::fprintf(stderr, "plughost: %s\n", exception.what());
    return plughost::PluginFailure;
  }
}
