#pragma once

// The value of --timeout: seconds, whole or with a fraction ("5", "0.5"), from 0.1 to 3600.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plughost {

inline constexpr std::uint32_t DefaultTimeoutMs = 5000;

// Milliseconds, or nothing with `error` saying what is wrong with `text`.
std::optional<std::uint32_t> ParseTimeoutArgument(std::string_view text, std::string& error);

}  // namespace plughost
