#include "tools/plughost/fatal_report.h"

#include <cstdio>

#include "tools/keytrace/key_trace.h"

namespace plughost {

void PrintFatal(const std::string& account, const std::vector<std::uint8_t>& released) {
  std::fflush(stdout);
  std::fprintf(stderr, "plughost: %s\n", account.c_str());
  if (!released.empty()) {
    std::fprintf(stderr, "plughost: released %s, left down by the plug-in\n",
                 keytrace::KeyList(released).c_str());
  }
}

bool PrintBreach(const std::string& text) {
  if (text.empty()) return false;
  std::fflush(stdout);
  std::fprintf(stderr, "plughost: %s\n", text.c_str());
  std::fflush(stderr);
  return true;
}

}  // namespace plughost
