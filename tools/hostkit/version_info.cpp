#include "tools/hostkit/version_info.h"

#include <cstdio>
#include <vector>

namespace hostkit {

std::optional<VersionInfo> ReadVersionInfo(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::nullopt;

  VersionInfo info{};
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof info.fixed) {
    return std::nullopt;
  }
  info.fixed = *static_cast<VS_FIXEDFILEINFO*>(value);

  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    const auto* translation = static_cast<const WORD*>(value);
    info.language = translation[0];
    info.codePage = translation[1];
  }
  for (const char* name : VersionStringNames) {
    char query[96];
    std::snprintf(query, sizeof query, R"(\StringFileInfo\%04x%04x\%s)", info.language,
                  info.codePage, name);
    if (VerQueryValueA(block.data(), query, &value, &length)) {
      info.strings[name] = length > 0 ? static_cast<const char*>(value) : "";
    }
  }
  return info;
}

}  // namespace hostkit
