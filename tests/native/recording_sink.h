#pragma once

// A keystroke sink that records what it is sent and which keys are still held.

#include <set>
#include <string>
#include <vector>

#include "keys/keystroke_sink.h"
#include "tools/keytrace/key_trace.h"

class RecordingSink {
 public:
  bool targetPresent = true;

  keys::KeystrokeSink Sink() { return {this, &Down, &Up, &Present}; }

  // The events since the last call, as "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑".
  std::string TakeTrace() {
    std::string trace = keytrace::FormatTrace(events_);
    events_.clear();
    return trace;
  }

  // Keys pressed and not yet released, as a trace of downs.
  [[nodiscard]] std::string HeldKeys() const {
    std::vector<keytrace::KeyEvent> held;
    for (std::uint8_t vk : held_) held.push_back({vk, true});
    return held.empty() ? "" : keytrace::FormatTrace(held);
  }

  int targetQueries = 0;

 private:
  static RecordingSink& Self(void* context) { return *static_cast<RecordingSink*>(context); }
  static void Down(void* context, keys::VirtualKey vk) {
    Self(context).events_.push_back({vk, true});
    Self(context).held_.insert(vk);
  }
  static void Up(void* context, keys::VirtualKey vk) {
    Self(context).events_.push_back({vk, false});
    Self(context).held_.erase(vk);
  }
  static bool Present(void* context) {
    ++Self(context).targetQueries;
    return Self(context).targetPresent;
  }

  std::vector<keytrace::KeyEvent> events_;
  std::set<std::uint8_t> held_;
};
