// plughost press: plays remote-key events through HandleKey, one session of the plug-in for all
// of them as in the host, and shows what each sent.

#include <functional>
#include <optional>

#include "tools/hostkit/stand_in_window.h"
#include "tools/plughost/command_errors.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {
namespace {

// Plays events as `next` hands them out, until it has no more; `next` returns a failure status
// to stop the session there.
int PressEach(const CommandLine& commandLine,
              const std::function<std::optional<int>(std::optional<KeyArgument>&)>& next) {
  std::optional<hostkit::StandInWindow> target;
  if (commandLine.openTarget) {
    target.emplace(hostkit::StandInTitle, commandLine.targetClass.c_str());
    target->BringToFront();
  }
  PluginSession plugin(commandLine.dllPath, commandLine.timeoutMs,
                       hostkit::KeyboardCapture::Delivery::PassThrough);
  if (!LoadOrSayWhyNot(plugin)) return PluginFailure;
  if (FindWindowA(commandLine.targetClass.c_str(), nullptr) == nullptr) {
    std::printf(
        "No window of class \"%s\" exists (start Morlune, or use --target): the plug-in "
        "will handle nothing and nothing will be sent.\n",
        commandLine.targetClass.c_str());
  }

  bool broke = false;
  for (;;) {
    std::optional<KeyArgument> key;
    if (const auto status = next(key)) return *status;
    if (!key) return broke ? PluginFailure : Success;
    const GuardedResult handled = plugin.dll().HandleKey(0, key->keyCode, key->keyState);
    PluginSession::Injected injected;
    if (!plugin.Collect(injected)) return PrintError(NoHookMessage), PluginFailure;
    std::printf("%s -> %s\n", DescribeKey(key->keyCode, key->keyState).c_str(),
                DescribeOutcome(handled.value, injected.events).c_str());
    std::fflush(stdout);
    const std::string call = Describe({0, key->keyCode, key->keyState});
    broke |= PrintBreach(handled.breach);
    broke |= PrintBreach(HandleKeyBreach(call, handled.value, injected.leftDown));
    broke |= PrintBreach(LateKeysText(injected.late));
    // Between events the target's own thread would run; here it is this one.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
}

// One line of any length, without its line feed; false at the end of the input.
bool ReadLine(std::FILE* input, std::string& line) {
  line.clear();
  int c = 0;
  while ((c = std::fgetc(input)) != EOF && c != '\n') line += static_cast<char>(c);
  return c != EOF || !line.empty();
}

}  // namespace

int Press(const CommandLine& commandLine, const std::vector<KeyArgument>& keys) {
  std::size_t index = 0;
  return Supervised([&] {
    return PressEach(commandLine, [&](std::optional<KeyArgument>& key) -> std::optional<int> {
      if (index < keys.size()) key = keys[index++];
      return std::nullopt;
    });
  });
}

// Each line is played as soon as it is read, so the tool can be used interactively.
int PressFromInput(const CommandLine& commandLine, std::FILE* input) {
  int number = 0;
  return Supervised([&] {
    return PressEach(commandLine, [&](std::optional<KeyArgument>& key) -> std::optional<int> {
      std::string line;
      while (ReadLine(input, line)) {
        ++number;
        std::string error;
        key = ParseKeyLine(line, error);
        if (key) return std::nullopt;
        if (!error.empty()) {
          std::fprintf(stderr, "plughost: line %d: %s\n", number, error.c_str());
          return UsageFailure;
        }
      }
      return std::nullopt;  // the end of the input: no more events
    });
  });
}

}  // namespace plughost
