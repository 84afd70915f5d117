#include "tools/plughost/commands.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "tools/hostkit/export_table.h"
#include "tools/hostkit/keyboard_capture.h"
#include "tools/hostkit/plugin_library.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/version_info.h"

namespace plughost {
namespace {

using hostkit::KeyboardCapture;
using hostkit::PluginLibrary;

// The full path, so that LoadLibrary takes this very file and not one on its search path.
std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

std::optional<PluginLibrary> LoadPlugin(const Session& session) {
  std::string error;
  auto plugin = PluginLibrary::Load(FullPath(session.dllPath), error);
  if (!plugin) std::fprintf(stderr, "plughost: %s\n", error.c_str());
  return plugin;
}

std::string Describe(const KeyArgument& key) {
  std::string text = "key " + std::to_string(key.keyCode);
  if (key.keyState != 1) text += ":" + std::to_string(key.keyState);
  return text;
}

std::string VersionText(DWORD mostSignificant, DWORD leastSignificant) {
  return std::to_string(HIWORD(mostSignificant)) + "." + std::to_string(LOWORD(mostSignificant)) +
         "." + std::to_string(HIWORD(leastSignificant)) + "." +
         std::to_string(LOWORD(leastSignificant));
}

// What one event did, in the words `press` prints.
std::string Verdict(std::int32_t handled, const std::vector<hostkit::CapturedKey>& injected) {
  const std::string keys = keytrace::FormatChords(hostkit::AsKeyEvents(injected));
  if (handled == 0) return injected.empty() ? "not handled" : "not handled, yet sent " + keys;
  if (handled != 1) return "returned " + std::to_string(handled) + ", sent " + keys;
  return injected.empty() ? "handled, no keystroke" : keys;
}

// A loaded plug-in and the hook that sees what it injects.
class Driver {
 public:
  Driver(std::string path, PluginLibrary plugin, KeyboardCapture::Delivery delivery)
      : path_(std::move(path)), plugin_(std::move(plugin)), capture_(delivery) {}

  [[nodiscard]] bool ready() const { return capture_.active(); }
  [[nodiscard]] const hostkit::PluginExports& dll() const { return plugin_->exports(); }

  // Calls HandleKey and collects what it injected; false if the hook never caught up.
  bool Handle(const KeyArgument& key, std::int32_t& handled,
              std::vector<hostkit::CapturedKey>& injected) {
    handled = dll().HandleKey(0, key.keyCode, key.keyState);
    return capture_.Sync(injected);
  }

  bool Sync(std::vector<hostkit::CapturedKey>& injected) { return capture_.Sync(injected); }

  // Unloads the DLL and loads it again, so that no state survives.
  bool Reload() {
    plugin_.reset();
    std::string error;
    plugin_ = PluginLibrary::Load(path_, error);
    if (!plugin_) std::fprintf(stderr, "plughost: %s\n", error.c_str());
    return plugin_.has_value();
  }

 private:
  std::string path_;
  std::optional<PluginLibrary> plugin_;
  KeyboardCapture capture_;
};

bool ReportNoHook() {
  std::fprintf(stderr,
               "plughost: the low-level keyboard hook could not be installed or saw "
               "nothing; is there a desktop (an X display under Wine)?\n");
  return false;
}

}  // namespace

int Info(const Session& session) {
  std::optional<hostkit::StandInWindow> target;
  if (session.openTarget) target.emplace();
  auto plugin = LoadPlugin(session);
  if (!plugin) return PluginFailure;
  const std::string path = FullPath(session.dllPath);

  const hostkit::ExportTable exports = hostkit::ReadExportTable(plugin->module());
  std::printf("%s\n\nExports (module name \"%s\"):\n", path.c_str(), exports.moduleName.c_str());
  for (const hostkit::ExportEntry& entry : exports.entries) {
    std::printf("  @%lu %s\n", static_cast<unsigned long>(entry.ordinal), entry.name.c_str());
  }

  std::printf("\nVersion block:\n");
  if (const auto version = hostkit::ReadVersionInfo(path)) {
    std::printf(
        "  %-22s %s\n", "file version",
        VersionText(version->fixed.dwFileVersionMS, version->fixed.dwFileVersionLS).c_str());
    std::printf(
        "  %-22s %s\n", "product version",
        VersionText(version->fixed.dwProductVersionMS, version->fixed.dwProductVersionLS).c_str());
    std::printf("  %-22s %04x %04x\n", "translation", version->language, version->codePage);
    for (const std::string& name : version->stringNames) {
      std::printf("  %-22s \"%s\"\n", name.c_str(), version->strings.at(name).c_str());
    }
  } else {
    std::printf("  (none)\n");
  }

  const hostkit::PluginExports& dll = plugin->exports();
  const auto mask = static_cast<std::uint32_t>(dll.WhatKeysDoYouWant());
  std::string bits;
  for (int bit = 0; bit < 32; ++bit) {
    if (mask & (1u << bit)) bits += (bits.empty() ? "" : " ") + std::to_string(bit);
  }
  std::printf("\nWhatKeysDoYouWant              0x%08lX (bits set: %s)\n",
              static_cast<unsigned long>(mask), bits.empty() ? "none" : bits.c_str());
  std::printf("EnumerateProgrammableFunction  %ld\n",
              static_cast<long>(dll.EnumerateProgrammableFunction()));
  std::printf("AreYouInFocus                  %ld\n", static_cast<long>(dll.AreYouInFocus()));
  return Success;
}

namespace {

// Plays events as `next` hands them out, until it has no more; `next` returns a failure status
// to stop the session there.
int PressEach(const Session& session,
              const std::function<std::optional<int>(std::optional<KeyArgument>&)>& next) {
  std::optional<hostkit::StandInWindow> target;
  if (session.openTarget) {
    target.emplace();
    target->BringToFront();
  }
  auto plugin = LoadPlugin(session);
  if (!plugin) return PluginFailure;
  if (FindWindowA(hostkit::MorluneWindowClass, nullptr) == nullptr) {
    std::printf(
        "No window of class \"%s\" exists (start Morlune, or use --target): the plug-in "
        "will handle nothing and nothing will be sent.\n",
        hostkit::MorluneWindowClass);
  }
  Driver driver(FullPath(session.dllPath), std::move(*plugin),
                KeyboardCapture::Delivery::PassThrough);
  if (!driver.ready()) return ReportNoHook(), PluginFailure;

  for (;;) {
    std::optional<KeyArgument> key;
    if (const auto status = next(key)) return *status;
    if (!key) return Success;
    std::int32_t handled = 0;
    std::vector<hostkit::CapturedKey> injected;
    if (!driver.Handle(*key, handled, injected)) return ReportNoHook(), PluginFailure;
    std::printf("%s -> %s\n", Describe(*key).c_str(), Verdict(handled, injected).c_str());
    std::fflush(stdout);
    // Between events the target's own thread would run; here it is this one.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
}

}  // namespace

int Press(const Session& session, const std::vector<KeyArgument>& keys) {
  std::size_t index = 0;
  return PressEach(session, [&](std::optional<KeyArgument>& key) -> std::optional<int> {
    if (index < keys.size()) key = keys[index++];
    return std::nullopt;
  });
}

// One line of any length, without its line feed; false at the end of the input.
bool ReadLine(std::FILE* input, std::string& line) {
  line.clear();
  int c = 0;
  while ((c = std::fgetc(input)) != EOF && c != '\n') line += static_cast<char>(c);
  return c != EOF || !line.empty();
}

// Each line is played as soon as it is read, so the tool can be used interactively.
int PressFromInput(const Session& session, std::FILE* input) {
  int number = 0;
  return PressEach(session, [&](std::optional<KeyArgument>& key) -> std::optional<int> {
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
}

int Keymap(const Session& session) {
  hostkit::StandInWindow target;
  auto plugin = LoadPlugin(session);
  if (!plugin) return PluginFailure;
  // Swallowed: probing must not type into anything on the user's desktop.
  Driver driver(FullPath(session.dllPath), std::move(*plugin), KeyboardCapture::Delivery::Swallow);
  if (!driver.ready()) return ReportNoHook(), PluginFailure;

  std::printf("| Key code | State | Keystrokes |\n|---|---|---|\n");
  std::vector<hostkit::CapturedKey> injected;
  for (std::uint16_t keyState : {1, 2}) {
    for (std::uint32_t keyCode = 0; keyCode <= 0xFFFF; ++keyCode) {
      const auto code = static_cast<std::uint16_t>(keyCode);
      // Unhandled codes are checked for stray keystrokes in bulk, below.
      if (driver.dll().HandleKey(0, code, keyState) == 0) continue;
      if (!driver.Sync(injected)) return ReportNoHook(), PluginFailure;
      std::printf("| %u | %u | %s |\n", code, keyState, Verdict(1, injected).c_str());
      // A fresh copy for the next probe, so that a mode switched here cannot leak into it.
      if (!driver.Reload()) return PluginFailure;
    }
    if (!driver.Sync(injected)) return ReportNoHook(), PluginFailure;
    if (!injected.empty()) {
      std::fprintf(stderr, "plughost: unhandled keys in state %u sent %s\n", keyState,
                   keytrace::FormatTrace(hostkit::AsKeyEvents(injected)).c_str());
      return PluginFailure;
    }
  }
  return Success;
}

int About(const Session& session) {
  auto plugin = LoadPlugin(session);
  if (!plugin) return PluginFailure;
  const std::int32_t result = plugin->exports().Configure(nullptr);
  std::printf("Configure returned %ld\n", static_cast<long>(result));
  return Success;
}

}  // namespace plughost
