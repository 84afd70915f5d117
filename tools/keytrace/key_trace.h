#pragma once

// Readable names for injected key events, shared by the tests and plughost:
// a trace reads "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑", a chord reads "Ctrl+PgDn".

#include <cstdint>
#include <string>
#include <vector>

namespace keytrace {

struct KeyEvent {
  std::uint8_t vk;
  bool down;
  bool operator==(const KeyEvent&) const = default;
};

// "Ctrl", "PgDn", "Num4", "F11", ...; unknown codes as "VK_0x41".
std::string KeyName(std::uint8_t vk);

// Events separated by blanks, each a key name with ↓ or ↑; "(nothing)" when empty.
std::string FormatTrace(const std::vector<KeyEvent>& events);

// Each complete press-release group as modifiers and key joined by '+', groups separated by
// blanks: "Ctrl+PgDn", "F6 F6". Falls back to FormatTrace when the events do not form
// well-nested groups, so an odd sequence is never hidden.
std::string FormatChords(const std::vector<KeyEvent>& events);

}  // namespace keytrace

namespace keytrace {

// Which keys a series of events leaves pressed, across calls: a plug-in that presses a key in one
// call and releases it in the next has still left it down after the first.
class HeldKeys {
 public:
  void Apply(const std::vector<KeyEvent>& events);
  void Release(std::uint8_t vk) { down_[vk] = false; }
  // In the order of their codes.
  [[nodiscard]] std::vector<std::uint8_t> Down() const;

 private:
  bool down_[256] = {};
};

// "Ctrl and PgUp"; "(none)" for no keys.
std::string KeyList(const std::vector<std::uint8_t>& keys);

}  // namespace keytrace
