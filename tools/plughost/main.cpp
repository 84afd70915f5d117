// plughost: drives a Remote Wonder plug-in DLL the way the host program does, and shows what
// it sends. See --help.

#include <cstdio>
#include <cstring>
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
  plughost check [--target-class NAME] [--timeout SECONDS] DLL
                                        check that the plug-in keeps the host's contract: one
                                        PASS, WARN or FAIL line per check
  plughost --help                       this text

KEY and STATE are decimal numbers from 0 to 65535; STATE is 1 when not given.
With no KEY, press reads events from standard input, one KEY[:STATE] a line; '#' starts a
comment.

Options:
  --target              opens a stand-in window of the target class for the session, for
                        when Morlune is not running. Without a window of that class the
                        plug-in handles nothing.
  --target-class NAME   the window class of the plug-in's application (default
                        "ThunderRT6FormDC", Morlune's), for --target, keymap and check
  --timeout SECONDS     how long one call into the plug-in may take (default 5; about waits
                        for the user unless given)
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

int Usage(const std::string& problem) {
  std::fprintf(stderr, "plughost: %s (see plughost --help)\n", problem.c_str());
  return plughost::UsageFailure;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // plughost starts itself in this mode for every plug-in it loads.
  if (!arguments.empty() && arguments.front() == hostkit::WorkerOption) {
    return hostkit::RunPluginWorker({arguments.begin() + 1, arguments.end()});
  }
  if (arguments.empty()) return Usage("no command given");
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h" || argument == "/?") {
      std::fputs(Help, stdout);
      return plughost::Success;
    }
  }

  const std::string command = arguments.front();
  plughost::Session session;
  std::vector<std::string> rest;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue = argument == "--target-class" || argument == "--timeout";
    if (takesValue && i + 1 == arguments.size()) return Usage(argument + " needs a value");
    if (argument == "--target") {
      session.openTarget = true;
    } else if (argument == "--target-class") {
      session.targetClass = arguments[++i];
      if (session.targetClass.empty()) return Usage("--target-class needs a class name");
    } else if (argument == "--timeout") {
      std::string error;
      const auto timeout = plughost::ParseTimeoutArgument(arguments[++i], error);
      if (!timeout) return Usage(error);
      session.timeoutMs = *timeout;
      session.timeoutGiven = true;
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
  if (rest.empty()) return Usage(command + " needs the path of a plug-in DLL");
  session.dllPath = rest.front();
  rest.erase(rest.begin());
  if (session.openTarget && command != "info" && command != "press") {
    return Usage("--target goes with info and press");
  }

  if (command == "press") {
    if (rest.empty()) return plughost::PressFromInput(session, stdin);
    std::vector<plughost::KeyArgument> keys;
    for (const std::string& text : rest) {
      std::string error;
      const auto key = plughost::ParseKeyArgument(text, error);
      if (!key) return Usage(error);
      keys.push_back(*key);
    }
    return plughost::Press(session, keys);
  }
  if (!rest.empty()) return Usage(command + " takes only the DLL, not '" + rest.front() + "'");
  if (command == "info") return plughost::Info(session);
  if (command == "keymap") return plughost::Keymap(session);
  if (command == "check") return plughost::Check(session);
  return plughost::About(session);
}
