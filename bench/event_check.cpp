#include <cstdio>

#include "bench/event_kinds.h"
#include "keys/remote_key_table.h"

namespace bench {
namespace {

struct Recording {
  bool targetPresent;
  int count;
  keys::VirtualKey keys[8];
  bool down[8];
};

void Record(void* context, keys::VirtualKey vk, bool down) {
  auto* recording = static_cast<Recording*>(context);
  if (recording->count < 8) {
    recording->keys[recording->count] = vk;
    recording->down[recording->count] = down;
  }
  ++recording->count;
}

void RecordDown(void* context, keys::VirtualKey vk) {
  Record(context, vk, true);
}
void RecordUp(void* context, keys::VirtualKey vk) {
  Record(context, vk, false);
}
bool Present(void* context) {
  return static_cast<Recording*>(context)->targetPresent;
}

struct Outcome {
  keys::HandledFlag handled;
  Recording recording;
  keys::CtrlDigitState after;
};

Outcome Run(const EventKind& kind, EventFunction function) {
  Outcome outcome{};
  outcome.recording.targetPresent = kind.targetPresent;
  const keys::KeystrokeSink sink{&outcome.recording, &RecordDown, &RecordUp, &Present};
  outcome.after = kind.before;
  outcome.handled = function(outcome.after, sink, 0, kind.keyCode, kind.keyState);
  return outcome;
}

bool SameKeystrokes(const Recording& a, const Recording& b) {
  if (a.count != b.count) return false;
  for (int i = 0; i < a.count && i < 8; ++i) {
    if (a.keys[i] != b.keys[i] || a.down[i] != b.down[i]) return false;
  }
  return true;
}

}  // namespace

bool CheckEventKinds(char* error, int errorSize) {
  for (const EventKind& kind : EventKinds) {
    const Outcome plugin = Run(kind, &keys::HandleKey);
    const Outcome floor = Run(kind, kind.floor);
    const Recording& sent = plugin.recording;
    const char* fault = nullptr;
    if (plugin.handled != kind.handled) {
      fault = "HandleKey returned another result";
    } else if (sent.count != kind.keystrokes) {
      fault = "HandleKey sent another number of keystrokes";
    } else if (kind.ctrlWrapped && (sent.keys[0] != keys::VK_CONTROL ||
                                    sent.keys[sent.count - 1] != keys::VK_CONTROL)) {
      fault = "the digit was not wrapped in Ctrl";
    } else if (kind.keyCode < keys::RemoteKeyCount &&
               keys::RemoteKeyTable[kind.keyCode].kind == keys::KeyActionKind::ToggleMode &&
               plugin.after.CtrlDigitMode == kind.before.CtrlDigitMode) {
      fault = "the mode key did not switch the mode";
    } else if (floor.handled != plugin.handled || !SameKeystrokes(floor.recording, sent)) {
      fault = "the floor does not give the same event as HandleKey";
    }
    if (fault != nullptr) {
      std::snprintf(error, errorSize, "%s (key %u, state %u): %s", kind.name,
                    static_cast<unsigned>(kind.keyCode), static_cast<unsigned>(kind.keyState),
                    fault);
      return false;
    }
  }
  return true;
}

}  // namespace bench
