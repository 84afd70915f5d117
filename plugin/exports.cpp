// The five functions the Remote Wonder host calls. All are cdecl: the host passes
// EnumerateProgrammableFunction arguments whose number the plug-in does not know, and only a
// caller-cleans convention stays safe with that.

#include <cstdint>

#include "keys/handle_key.h"
#include "platform/about_box.h"
#include "platform/target_window.h"
#include "platform/windows_keystroke_sink.h"
#include "plugin/about_text.h"

namespace {

// Key groups the plug-in asks the host for, in the host's bit encoding: bits 3 to 13.
constexpr std::int32_t WantedKeysMask = 0x3FF8;

// Zero-initialised storage: the mode starts off and no constructor runs at load.
constinit keys::CtrlDigitState ctrlDigitState{};

}  // namespace

extern "C" {

std::int32_t __cdecl WhatKeysDoYouWant() {
  return WantedKeysMask;
}

// Declares no parameters and reads none: the host may pass any number.
std::int32_t __cdecl EnumerateProgrammableFunction() {
  return 0;
}

std::int32_t __cdecl Configure(HWND__* owner) {
  return platform::ShowAboutBox(owner, plugin::AboutText, plugin::AboutCaption);
}

std::int32_t __cdecl AreYouInFocus() {
  return platform::IsTargetPresent() ? 1 : 0;
}

std::int32_t __cdecl HandleKey(std::uint32_t first, std::uint32_t keyCode, std::uint32_t keyState) {
  return keys::HandleKey(ctrlDigitState, platform::WindowsKeystrokeSink, first, keyCode, keyState);
}

}  // extern "C"
