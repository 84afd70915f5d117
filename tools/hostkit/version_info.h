#pragma once

// A file's version block, read back through the system's own version API. The names in its
// string table are found by walking the block, since the API can only look names up.

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hostkit {

struct VersionInfo {
  VS_FIXEDFILEINFO fixed;
  std::uint16_t language;  // first translation entry
  std::uint16_t codePage;
  std::map<std::string, std::string> strings;  // every string of that table, by name
  std::vector<std::string> stringNames;        // the same names, in the block's order
};

std::optional<VersionInfo> ReadVersionInfo(const std::string& path);

}  // namespace hostkit
