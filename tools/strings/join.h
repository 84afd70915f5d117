#pragma once

#include <string>
#include <vector>

namespace strings {

// "a, b, c": the lists plughost names in one line.
inline std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return joined;
}

}  // namespace strings
