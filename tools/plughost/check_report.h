#pragma once

// The lines of plughost check: "PASS  name  evidence", "WARN ...", "FAIL ...", then a summary.

#include <atomic>
#include <mutex>
#include <string>

namespace plughost {

enum class Verdict { Pass, Warn, Fail };

class CheckReport {
 public:
  void Line(Verdict verdict, const std::string& check, const std::string& evidence);

  // The check under way, named in the line for a call that crashes or hangs during it.
  void Begin(const std::string& check);
  [[nodiscard]] std::string current();

  // "Morlune.dll: 14 PASS, 0 WARN, 0 FAIL"; returns the exit status.
  int Finish(const std::string& dll);

  [[nodiscard]] int fails() const { return counts_[static_cast<int>(Verdict::Fail)]; }

 private:
  std::mutex mutex_;
  std::string current_;
  std::atomic<int> counts_[3] = {};
};

}  // namespace plughost
