#include "tools/keytrace/key_trace.h"

#include <cstdio>

namespace keytrace {
namespace {

struct NamedKey {
  std::uint8_t vk;
  const char* name;
};

// Written from the Windows virtual-key list, not from the plug-in's tables, so a wrong code in
// the plug-in shows up as a wrong name.
constexpr NamedKey Names[] = {
    {0x08, "Backspace"}, {0x09, "Tab"},     {0x0D, "Enter"},  {0x10, "Shift"},  {0x11, "Ctrl"},
    {0x12, "Alt"},       {0x1B, "Esc"},     {0x20, "Space"},  {0x21, "PgUp"},   {0x22, "PgDn"},
    {0x23, "End"},       {0x24, "Home"},    {0x25, "Left"},   {0x26, "Up"},     {0x27, "Right"},
    {0x28, "Down"},      {0x2D, "Ins"},     {0x2E, "Del"},    {0x5B, "LWin"},   {0x5C, "RWin"},
    {0x6A, "Num*"},      {0x6B, "Num+"},    {0x6C, "NumSep"}, {0x6D, "Num-"},   {0x6E, "Num."},
    {0x6F, "Num/"},      {0x90, "NumLock"}, {0xA0, "LShift"}, {0xA1, "RShift"}, {0xA2, "LCtrl"},
    {0xA3, "RCtrl"},     {0xA4, "LAlt"},    {0xA5, "RAlt"},
};

bool IsModifier(std::uint8_t vk) {
  return vk == 0x10 || vk == 0x11 || vk == 0x12 || (vk >= 0xA0 && vk <= 0xA5);
}

}  // namespace

std::string KeyName(std::uint8_t vk) {
  if (vk >= 0x30 && vk <= 0x39) return {static_cast<char>(vk)};  // '0'..'9'
  if (vk >= 0x41 && vk <= 0x5A) return {static_cast<char>(vk)};  // 'A'..'Z'
  if (vk >= 0x60 && vk <= 0x69) return "Num" + std::to_string(vk - 0x60);
  if (vk >= 0x70 && vk <= 0x87) return "F" + std::to_string(vk - 0x70 + 1);
  for (const NamedKey& named : Names) {
    if (named.vk == vk) return named.name;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "VK_0x%02X", vk);
  return hex;
}

std::string FormatTrace(const std::vector<KeyEvent>& events) {
  if (events.empty()) return "(nothing)";
  std::string out;
  for (const KeyEvent& event : events) {
    if (!out.empty()) out += ' ';
    out += KeyName(event.vk);
    out += event.down ? "↓" : "↑";
  }
  return out;
}

std::string FormatChords(const std::vector<KeyEvent>& events) {
  if (events.empty()) return "(nothing)";
  std::string out;
  std::size_t i = 0;
  while (i < events.size()) {
    // A group: modifiers down, one key down, that key up, the modifiers up in reverse order.
    std::vector<std::uint8_t> held;
    while (i < events.size() && events[i].down && IsModifier(events[i].vk) &&
           !(i + 1 < events.size() && !events[i + 1].down && events[i + 1].vk == events[i].vk)) {
      held.push_back(events[i++].vk);
    }
    if (i + 1 >= events.size() || !events[i].down || events[i + 1].down ||
        events[i + 1].vk != events[i].vk) {
      return FormatTrace(events);
    }
    std::string chord;
    for (std::uint8_t modifier : held) chord += KeyName(modifier) + "+";
    chord += KeyName(events[i].vk);
    i += 2;
    for (auto it = held.rbegin(); it != held.rend(); ++it, ++i) {
      if (i >= events.size() || events[i].down || events[i].vk != *it) return FormatTrace(events);
    }
    if (!out.empty()) out += ' ';
    out += chord;
  }
  return out;
}

}  // namespace keytrace

namespace keytrace {

void HeldKeys::Apply(const std::vector<KeyEvent>& events) {
  for (const KeyEvent& event : events) down_[event.vk] = event.down;
}

std::vector<std::uint8_t> HeldKeys::Down() const {
  std::vector<std::uint8_t> keys;
  for (int vk = 0; vk < 256; ++vk) {
    if (down_[vk]) keys.push_back(static_cast<std::uint8_t>(vk));
  }
  return keys;
}

std::string KeyList(const std::vector<std::uint8_t>& keys) {
  if (keys.empty()) return "(none)";
  std::string out;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) out += i + 1 == keys.size() ? " and " : ", ";
    out += KeyName(keys[i]);
  }
  return out;
}

}  // namespace keytrace
