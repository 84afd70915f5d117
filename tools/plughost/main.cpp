// plughost: drives a Remote Wonder plug-in DLL the way the host program does, and shows what
// it sends. See --help.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
  plughost --help                       this text

KEY and STATE are decimal numbers from 0 to 65535; STATE is 1 when not given.
With no KEY, press reads events from standard input, one KEY[:STATE] a line; '#' starts a
comment.

--target  opens a stand-in window of class "ThunderRT6FormDC" for the session, for when
          Morlune is not running. Without a window of that class the plug-in handles nothing.
keymap opens its own stand-in and swallows every keystroke it provokes, so nothing reaches
any window.

Exit status: 0 done, 1 the DLL could not be loaded or used, 2 a bad command line or input.
)";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "plughost: %s (see plughost --help)\n", problem.c_str());
  return plughost::UsageFailure;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
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
    if (arguments[i] == "--target") {
      session.openTarget = true;
    } else if (arguments[i].rfind("--", 0) == 0) {
      return Usage("unknown option '" + arguments[i] + "'");
    } else {
      rest.push_back(arguments[i]);
    }
  }
  if (command != "info" && command != "press" && command != "keymap" && command != "about") {
    return Usage("unknown command '" + command + "'");
  }
  if (rest.empty()) return Usage(command + " needs the path of a plug-in DLL");
  session.dllPath = rest.front();
  rest.erase(rest.begin());

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
  if (session.openTarget && command != "info") {
    return Usage("--target goes with info and press");
  }
  if (command == "info") return plughost::Info(session);
  if (command == "keymap") return plughost::Keymap(session);
  return plughost::About(session);
}
