#include "tools/plughost/key_argument.h"

namespace plughost {
namespace {

std::optional<std::uint16_t> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<KeyArgument> ParseKeyArgument(std::string_view text, std::string& error) {
  const auto colon = text.find(':');
  const std::string_view keyText = text.substr(0, colon);
  const auto keyCode = ParseNumber(keyText);
  if (!keyCode) {
    error = "bad key '" + std::string(text) + "': the key code must be a number from 0 to 65535";
    return std::nullopt;
  }
  if (colon == std::string_view::npos) return KeyArgument{*keyCode, 1};
  const auto keyState = ParseNumber(text.substr(colon + 1));
  if (!keyState) {
    error = "bad key '" + std::string(text) + "': the state must be a number from 0 to 65535";
    return std::nullopt;
  }
  return KeyArgument{*keyCode, *keyState};
}

std::optional<KeyArgument> ParseKeyLine(std::string_view line, std::string& error) {
  const std::string_view content = Trim(line.substr(0, line.find('#')));
  if (content.empty()) return std::nullopt;
  return ParseKeyArgument(content, error);
}

}  // namespace plughost
