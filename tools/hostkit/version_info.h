#pragma once

// A file's version block, read back through the system's own version API.

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace hostkit {

struct VersionInfo {
  VS_FIXEDFILEINFO fixed;
  std::uint16_t language;  // first translation entry
  std::uint16_t codePage;
  std::map<std::string, std::string> strings;  // the standard names found in that table
};

// Standard string names, in the order a version block usually lists them.
inline constexpr const char* VersionStringNames[] = {
    "Comments",     "CompanyName",    "FileDescription", "FileVersion",
    "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
    "PrivateBuild", "ProductName",    "ProductVersion",  "SpecialBuild"};

std::optional<VersionInfo> ReadVersionInfo(const std::string& path);

}  // namespace hostkit
