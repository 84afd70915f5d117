#include "tools/plughost/timeout_argument.h"

namespace plughost {
namespace {

constexpr std::uint64_t MinimumMs = 100;
constexpr std::uint64_t MaximumMs = std::uint64_t{3600} * 1000;

}  // namespace

std::optional<std::uint32_t> ParseTimeoutArgument(std::string_view text, std::string& error) {
  // Digits, then at most three decimals: read exactly, as milliseconds.
  std::uint64_t milliseconds = 0;
  std::size_t i = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 8; ++i, ++digits) {
    milliseconds = milliseconds * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  milliseconds *= 1000;
  bool fractionEmpty = false;
  if (digits > 0 && i < text.size() && text[i] == '.') {
    std::uint64_t scale = 100;
    fractionEmpty = i + 1 == text.size();
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && scale > 0; ++i) {
      milliseconds += static_cast<std::uint64_t>(text[i] - '0') * scale;
      scale /= 10;
    }
  }
  if (digits == 0 || fractionEmpty || i != text.size() || milliseconds < MinimumMs ||
      milliseconds > MaximumMs) {
    error = "bad timeout '" + std::string(text) + "': seconds from 0.1 to 3600 (5 when not given)";
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(milliseconds);
}

}  // namespace plughost
