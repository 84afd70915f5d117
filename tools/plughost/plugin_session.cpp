#include "tools/plughost/plugin_session.h"

#include <cstdio>
#include <utility>

namespace plughost {
namespace {

constexpr DWORD FatalSyncTimeoutMs = 1000;

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

}  // namespace

std::string FileName(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

const char* const NoHookMessage =
    "the low-level keyboard hook could not be installed or saw nothing; is there a desktop (an "
    "X display under Wine)?";

std::string DescribeKey(std::uint16_t keyCode, std::uint16_t keyState) {
  std::string text = "key " + std::to_string(keyCode);
  if (keyState != 1) text += ":" + std::to_string(keyState);
  return text;
}

std::string DescribeOutcome(std::uint32_t handled, const std::vector<keytrace::KeyEvent>& events) {
  const std::string keys = keytrace::FormatChords(events);
  if (handled == 0) return events.empty() ? "not handled" : "not handled, yet sent " + keys;
  if (handled != 1) {
    return "returned " + std::to_string(static_cast<std::int32_t>(handled)) + ", sent " + keys;
  }
  return events.empty() ? "handled, no keystroke" : keys;
}

std::string HandleKeyBreach(const std::string& call, std::uint32_t handled,
                            const std::vector<std::uint8_t>& leftDown) {
  std::string breach;
  if (handled > 1) {
    breach = call + " returned " + std::to_string(static_cast<std::int32_t>(handled)) +
             ": the host expects 0 or 1";
  }
  if (!leftDown.empty()) {
    breach += (breach.empty() ? "" : "; ") + call + " left " + keytrace::KeyList(leftDown) +
              " down (plughost released " + (leftDown.size() == 1 ? "it" : "them") + ")";
  }
  return breach;
}

PluginSession::PluginSession(const std::string& path, std::uint32_t timeoutMs,
                             hostkit::KeyboardCapture::Delivery delivery, FatalReport report)
    : path_(FullPath(path)),
      capture_(delivery),
      guard_(timeoutMs, [this, report = std::move(report)](const std::string& account) {
        Injected injected;
        CollectAndRelease(injected, FatalSyncTimeoutMs);
        report(account, injected.leftDown);
      }) {}

PluginSession::~PluginSession() {
  Unload();
  Injected injected;
  CollectAndRelease(injected, FatalSyncTimeoutMs);
}

bool PluginSession::Load(std::string& error) {
  if (!capture_.active()) {
    error = NoHookMessage;
    return false;
  }
  Unload();
  guard_.Run("loading " + FileName(path_),
             [&] { plugin_ = hostkit::PluginLibrary::Load(path_, error); });
  return plugin_.has_value();
}

void PluginSession::Unload() {
  if (!plugin_) return;
  guard_.Run("unloading " + FileName(path_), [&] { plugin_.reset(); });
}

bool PluginSession::Collect(Injected& injected) {
  return CollectAndRelease(injected, 5000);
}

bool PluginSession::CollectAndRelease(Injected& injected, DWORD syncTimeoutMs) {
  std::vector<hostkit::CapturedKey> keys;
  const bool synced = capture_.active() && capture_.Sync(keys, syncTimeoutMs);
  injected.events = hostkit::AsKeyEvents(keys);
  held_.Apply(injected.events);
  injected.leftDown = held_.Down();
  for (const std::uint8_t vk : injected.leftDown) {
    hostkit::KeyboardCapture::Release(vk);
    held_.Release(vk);
  }
  return synced;
}

}  // namespace plughost
