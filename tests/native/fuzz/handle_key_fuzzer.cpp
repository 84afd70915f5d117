// Plays arbitrary event sequences through key translation and traps on anything that must never
// happen: a result other than 0 or 1, a refused event that sent keys or changed the mode, a key
// left down after a call, or a count outside what the mode allows.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "keys/handle_key.h"

namespace {

struct Observer {
  bool targetPresent;
  int sent;
  int held[256];
};

void Down(void* context, keys::VirtualKey vk) {
  auto& observer = *static_cast<Observer*>(context);
  ++observer.sent;
  ++observer.held[vk];
}

void Up(void* context, keys::VirtualKey vk) {
  auto& observer = *static_cast<Observer*>(context);
  ++observer.sent;
  if (--observer.held[vk] < 0) __builtin_trap();  // released without being pressed
}

bool Present(void* context) {
  return static_cast<Observer*>(context)->targetPresent;
}

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  keys::CtrlDigitState state{};
  Observer observer{};
  const keys::KeystrokeSink sink{&observer, &Down, &Up, &Present};

  while (size > 0) {
    const auto flags = Take<std::uint8_t>(data, size);
    const auto first = Take<std::uint32_t>(data, size);
    // Small codes and states are where the behaviour is, so most events use a one-byte code
    // with a random upper half; the rest take all 32 bits.
    std::uint32_t keyCode;
    std::uint32_t keyState;
    if (flags & 2) {
      keyCode = Take<std::uint32_t>(data, size);
      keyState = Take<std::uint32_t>(data, size);
    } else {
      keyCode = Take<std::uint8_t>(data, size) % 64u | (flags & 4 ? 0xABCD0000u : 0u);
      keyState = Take<std::uint8_t>(data, size) % 4u | (flags & 8 ? 0x12340000u : 0u);
    }
    observer.targetPresent = (flags & 1) != 0;
    observer.sent = 0;

    const keys::CtrlDigitState before = state;
    const keys::HandledFlag handled = keys::HandleKey(state, sink, first, keyCode, keyState);

    Require(handled == 0 || handled == 1);
    if (handled == 0) {
      Require(observer.sent == 0);
      Require(state.CtrlDigitMode == before.CtrlDigitMode);
      Require(state.CtrlDigitCount == before.CtrlDigitCount);
    }
    if (!observer.targetPresent) Require(handled == 0);
    for (int held : observer.held) Require(held == 0);
    Require(observer.sent <= 4);
    Require(state.CtrlDigitMode == 0 || state.CtrlDigitMode == 1);
    if (state.CtrlDigitMode == 1) {
      Require(state.CtrlDigitCount >= 0 && state.CtrlDigitCount < keys::CtrlDigitLimit);
    } else {
      Require(state.CtrlDigitCount == 0);
    }
  }
  return 0;
}
