#pragma once

#include <cstdint>
#include <string>

namespace strings {

// "0x" and upper-case digits, padded with zeros to `minDigits`: Hex(42, 8) is "0x0000002A",
// Hex(0x1501) is "0x1501". Header-only, so the pure readers and the Windows tools share it.
inline std::string Hex(std::uint64_t value, int minDigits = 1) {
  std::string digits;
  while (value != 0 || static_cast<int>(digits.size()) < minDigits) {
    digits.insert(digits.begin(), "0123456789ABCDEF"[value % 16]);
    value /= 16;
  }
  return "0x" + digits;
}

}  // namespace strings
