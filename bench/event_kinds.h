#pragma once

// The remote-key events the benchmarks time, one per kind of action, and the two ways of
// handling each: the plug-in's HandleKey and the floor, the least any translation must do.

#include <cstdint>

#include "keys/handle_key.h"

namespace bench {

// HandleKey's shape: every way of handling an event has it.
using EventHandler = keys::HandledFlag(keys::CtrlDigitState& state, const keys::KeystrokeSink& sink,
                                       std::uint32_t first, std::uint32_t keyCodeArg,
                                       std::uint32_t keyStateArg);
using EventFunction = EventHandler*;

struct EventKind {
  const char* name;
  std::uint32_t keyCode;
  std::uint32_t keyState;
  bool targetPresent;
  // Restored before every event, so each one measured is the same event: a Ctrl digit stays a
  // Ctrl digit instead of the mode running out after three.
  keys::CtrlDigitState before;
  EventFunction floor;
  // What one event must give: HandleKey's result and the keystrokes sent.
  keys::HandledFlag handled;
  int keystrokes;
  bool ctrlWrapped;
};

// The floor: ask for the target, read the table entry with no bounds or state check, and make
// the sink calls the entry needs, with no dispatch and no mode bookkeeping.
EventHandler FloorLookUpOnly;
EventHandler FloorTap;
EventHandler FloorChord;
EventHandler FloorCtrlTap;

// Sinks whose calls do nothing, defined in another translation unit so no call can be elided.
extern const keys::KeystrokeSink NullSink;
extern const keys::KeystrokeSink NullSinkNoTarget;

inline constexpr EventKind EventKinds[] = {
    {"None", 13, 1, true, {0, 0}, &FloorLookUpOnly, 0, 0, false},
    {"Tap", 23, 1, true, {0, 0}, &FloorTap, 1, 2, false},
    {"Chord", 31, 1, true, {0, 0}, &FloorChord, 1, 4, false},
    {"Digit", 4, 1, true, {0, 0}, &FloorTap, 1, 2, false},
    {"CtrlDigit", 4, 1, true, {1, 0}, &FloorCtrlTap, 1, 4, true},
    {"ToggleMode", 28, 1, true, {0, 0}, &FloorLookUpOnly, 1, 0, false},
    {"AbsentTarget", 23, 1, false, {0, 0}, &FloorTap, 0, 0, false},
};

inline const keys::KeystrokeSink& SinkFor(const EventKind& kind) {
  return kind.targetPresent ? NullSink : NullSinkNoTarget;
}

// Runs each kind once through HandleKey and through its floor with a recording sink; false,
// with the reason in `error`, when either does not give the event it stands for.
bool CheckEventKinds(char* error, int errorSize);

}  // namespace bench
