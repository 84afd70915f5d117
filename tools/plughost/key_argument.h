#pragma once

// One remote-key event as a user writes it: "KEY" or "KEY:STATE", decimal, each 0 to 65535.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plughost {

struct KeyArgument {
  std::uint16_t keyCode;
  std::uint16_t keyState;  // 1 when not given
};

// Returns the event, or nothing with `error` saying what is wrong with `text`.
std::optional<KeyArgument> ParseKeyArgument(std::string_view text, std::string& error);

// One line of event input: blank or a comment ('#' to the end of the line) gives no event and
// no error.
std::optional<KeyArgument> ParseKeyLine(std::string_view line, std::string& error);

}  // namespace plughost
