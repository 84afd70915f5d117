#pragma once

// A plug-in as one plughost command drives it: loaded, called and unloaded only through the call
// guard, every key it injects seen by the capture, and every key it leaves down released, so
// that no plug-in can crash or hang plughost or leave a key held on the desktop.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/guarded_exports.h"
#include "tools/hostkit/keyboard_capture.h"
#include "tools/hostkit/plugin_library.h"
#include "tools/keytrace/key_trace.h"

namespace plughost {

using hostkit::GuardedResult;

// "Crash.dll" of "C:\\plugins\\Crash.dll".
std::string FileName(const std::string& path);

// "key 25:2"; the state is left out when it is 1.
std::string DescribeKey(std::uint16_t keyCode, std::uint16_t keyState);

// What one event did, in the words press and keymap print: "Ctrl+PgDn", "not handled", ...
std::string DescribeOutcome(std::uint32_t handled, const std::vector<keytrace::KeyEvent>& events);

// The account of what a HandleKey call did against the host's contract beyond the calling
// convention: a result other than 0 or 1, keys left down. Empty when nothing.
std::string HandleKeyBreach(const std::string& call, std::uint32_t handled,
                            const std::vector<std::uint8_t>& leftDown);

class PluginSession {
 public:
  // Told, on the watchdog thread, of a call that crashed or hung and of the keys released for
  // it; the process then ends with exit status 1.
  using FatalReport =
      std::function<void(const std::string& account, const std::vector<std::uint8_t>& released)>;

  // `path` is made full, so that LoadLibrary takes this very file and not one on its search
  // path.
  PluginSession(const std::string& path, std::uint32_t timeoutMs,
                hostkit::KeyboardCapture::Delivery delivery, FatalReport report);
  ~PluginSession();
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // False, with `error`, when the hook is missing or the DLL cannot be loaded.
  bool Load(std::string& error);
  void Unload();
  [[nodiscard]] bool loaded() const { return plugin_.has_value(); }
  [[nodiscard]] HMODULE module() const { return plugin_->module(); }
  [[nodiscard]] const std::string& path() const { return path_; }

  // The exports of the loaded plug-in, every call guarded.
  hostkit::GuardedExports dll() { return {guard_, plugin_->exports()}; }

  struct Injected {
    std::vector<keytrace::KeyEvent> events;  // in order, since the last Collect
    std::vector<std::uint8_t> leftDown;      // pressed and not released: released by Collect
  };
  // False when the hook never caught up.
  bool Collect(Injected& injected);

 private:
  // Syncs, takes in what was injected, and releases every key still down.
  bool CollectAndRelease(Injected& injected, DWORD syncTimeoutMs);

  const std::string path_;
  hostkit::KeyboardCapture capture_;  // outlives the guard: its fatal report releases keys
  keytrace::HeldKeys held_;
  hostkit::CallGuard guard_;
  std::optional<hostkit::PluginLibrary> plugin_;
};

// "the low-level keyboard hook could not be installed ...": for every command that needs it.
extern const char* const NoHookMessage;

}  // namespace plughost
