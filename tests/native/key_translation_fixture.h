#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "keys/handle_key.h"
#include "tests/native/recording_sink.h"

// A fresh plug-in state for every test, and the check that no test leaves a key down.
class KeyTranslation : public ::testing::Test {
 protected:
  struct Outcome {
    keys::HandledFlag handled;
    std::string trace;
  };

  // Feeds one event with the arguments as the host would pass them.
  Outcome Press(std::uint32_t keyCodeArg, std::uint32_t keyStateArg = 1, std::uint32_t first = 0) {
    const keys::HandledFlag handled = keys::HandleKey(state, sink, first, keyCodeArg, keyStateArg);
    EXPECT_EQ(recorder.HeldKeys(), "")
        << "keys left down after key " << keyCodeArg << " state " << keyStateArg;
    return {handled, recorder.TakeTrace()};
  }

  void ExpectMode(std::int32_t mode, std::int32_t count) const {
    EXPECT_EQ(state.CtrlDigitMode, mode);
    EXPECT_EQ(state.CtrlDigitCount, count);
  }

  keys::CtrlDigitState state{};
  RecordingSink recorder;
  keys::KeystrokeSink sink = recorder.Sink();
};
