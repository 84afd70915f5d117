#include "tools/plughost/check_report.h"

#include <cstdio>

#include "tools/plughost/commands.h"

namespace plughost {

void CheckReport::Line(Verdict verdict, const std::string& check, const std::string& evidence) {
  static constexpr const char* Words[] = {"PASS", "WARN", "FAIL"};
  ++counts_[static_cast<int>(verdict)];
  std::printf("%s  %-22s  %s\n", Words[static_cast<int>(verdict)], check.c_str(), evidence.c_str());
  std::fflush(stdout);
}

void CheckReport::Begin(const std::string& check) {
  const std::lock_guard lock(mutex_);
  current_ = check;
}

std::string CheckReport::current() {
  const std::lock_guard lock(mutex_);
  return current_;
}

int CheckReport::Finish(const std::string& dll) {
  std::printf("%s: %d PASS, %d WARN, %d FAIL\n", dll.c_str(), counts_[0].load(), counts_[1].load(),
              counts_[2].load());
  std::fflush(stdout);
  return fails() > 0 ? PluginFailure : Success;
}

}  // namespace plughost
