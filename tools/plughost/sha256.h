#pragma once

// SHA-256 of a file's bytes, for naming the very plug-in a report speaks of.

#include <cstdint>
#include <span>
#include <string>

namespace plughost {

// Lower-case hexadecimal, 64 digits.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace plughost
