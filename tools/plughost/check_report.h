#pragma once

// What plughost check found, plug-in by plug-in and check by check, and the three ways it is
// written: text lines as the checks run, one JSON document, JUnit XML. Free of <windows.h>, so
// the writers are tested natively.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plughost {

enum class Verdict { Pass, Warn, Fail, Skip, Note };

// "PASS", "WARN", "FAIL", "SKIP", "NOTE".
const char* VerdictWord(Verdict verdict);

struct Finding {
  Verdict verdict;
  std::string evidence;
};

struct CheckRecord {
  std::string name;
  std::vector<Finding> findings;  // one line each; at least one
  double durationMs = 0;
  // The worst of its findings: FAIL, then WARN, SKIP, PASS, NOTE.
  [[nodiscard]] Verdict verdict() const;
};

struct PluginReport {
  std::string path;
  std::string name;  // the file's name
  std::uint64_t size = 0;
  std::string sha256;
  std::vector<CheckRecord> checks;
  // The checks with this verdict.
  [[nodiscard]] int Count(Verdict verdict) const;
  [[nodiscard]] bool Failed(bool warningsAsErrors) const;
};

// How the run was made and where.
struct RunInfo {
  std::string plughostVersion;
  std::uint32_t timeoutMs = 0;
  std::string targetClass;
  std::uint32_t seed = 0;
  std::uint32_t events = 0;
  bool warningsAsErrors = false;
  std::string include, exclude;
  std::string windowsVersion;
  bool wow64 = false;
  std::string wineVersion;  // empty where it is not Wine
};

struct CheckListing {
  std::string name;
  std::string description;
};

// "PASS  cdecl                   evidence".
std::string TextLine(const std::string& check, const Finding& finding);
// "Morlune.dll: 13 PASS, 0 WARN, 0 FAIL, 0 SKIP".
std::string SummaryLine(const PluginReport& report);
// "3 plug-ins checked: 2 passed, 1 failed".
std::string TallyLine(const std::vector<PluginReport>& reports, bool warningsAsErrors);

inline constexpr int JsonFormatVersion = 1;
std::string JsonReport(const RunInfo& run, const std::vector<PluginReport>& reports);
std::string JunitReport(const RunInfo& run, const std::vector<PluginReport>& reports);
// --list: "name  description" lines, or a JSON array of {name, description}.
std::string ListText(const std::vector<CheckListing>& checks);
std::string ListJson(const std::vector<CheckListing>& checks);

}  // namespace plughost
