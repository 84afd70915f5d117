#include "tools/plughost/check_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace plughost {
namespace {

using nlohmann::ordered_json;

int Rank(Verdict verdict) {
  switch (verdict) {
    case Verdict::Fail:
      return 4;
    case Verdict::Warn:
      return 3;
    case Verdict::Skip:
      return 2;
    case Verdict::Pass:
      return 1;
    case Verdict::Note:
      return 0;
  }
  return 0;
}

std::string Lower(const char* word) {
  std::string text(word);
  for (char& c : text) c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Text from a plug-in or the system (an ANSI window title, say) may be no UTF-8: each byte that
// is not part of a well-formed sequence becomes U+FFFD, so that the reports stay readable.
std::string ValidUtf8(const std::string& text) {
  std::string valid;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8Length(text, at);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      ++at;
    } else {
      valid.append(text, at, length);
      at += length;
    }
  }
  return valid;
}

std::string EscapeXml(const std::string& raw) {
  const std::string text = ValidUtf8(raw);
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        // Control characters other than tab and line feed have no place in XML 1.0.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
          escaped += ' ';
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string Seconds(double milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", milliseconds / 1000.0);
  return text;
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// `<name a="v" ...>`, every value escaped.
std::string Open(const std::string& name, const Attributes& attributes) {
  std::string tag = "<" + name;
  for (const auto& [attribute, value] : attributes) {
    tag += " " + attribute + "=\"" + EscapeXml(value) + "\"";
  }
  return tag + ">";
}

// `<name a="v" .../>`.
std::string Empty(const std::string& name, const Attributes& attributes) {
  std::string tag = Open(name, attributes);
  tag.insert(tag.size() - 1, "/");
  return tag;
}

std::string Evidence(const CheckRecord& check) {
  std::string text;
  for (const Finding& finding : check.findings) {
    text += std::string(VerdictWord(finding.verdict)) + "  " + finding.evidence + "\n";
  }
  return text;
}

}  // namespace

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "PASS";
    case Verdict::Warn:
      return "WARN";
    case Verdict::Fail:
      return "FAIL";
    case Verdict::Skip:
      return "SKIP";
    case Verdict::Note:
      return "NOTE";
  }
  return "?";
}

Verdict CheckRecord::verdict() const {
  Verdict worst = Verdict::Note;
  for (const Finding& finding : findings) {
    if (Rank(finding.verdict) > Rank(worst)) worst = finding.verdict;
  }
  return worst;
}

int PluginReport::Count(Verdict verdict) const {
  int count = 0;
  for (const CheckRecord& check : checks) count += check.verdict() == verdict ? 1 : 0;
  return count;
}

bool PluginReport::Failed(bool warningsAsErrors) const {
  return Count(Verdict::Fail) > 0 || (warningsAsErrors && Count(Verdict::Warn) > 0);
}

std::string TextLine(const std::string& check, const Finding& finding) {
  char head[48];
  std::snprintf(head, sizeof head, "%s  %-22s  ", VerdictWord(finding.verdict), check.c_str());
  return head + finding.evidence;
}

std::string SummaryLine(const PluginReport& report) {
  return report.name + ": " + std::to_string(report.Count(Verdict::Pass)) + " PASS, " +
         std::to_string(report.Count(Verdict::Warn)) + " WARN, " +
         std::to_string(report.Count(Verdict::Fail)) + " FAIL, " +
         std::to_string(report.Count(Verdict::Skip)) + " SKIP";
}

std::string TallyLine(const std::vector<PluginReport>& reports, bool warningsAsErrors) {
  int failed = 0;
  for (const PluginReport& report : reports) failed += report.Failed(warningsAsErrors) ? 1 : 0;
  const auto count = static_cast<int>(reports.size());
  return std::to_string(count) + (count == 1 ? " plug-in" : " plug-ins") +
         " checked: " + std::to_string(count - failed) + " passed, " + std::to_string(failed) +
         " failed";
}

std::string JsonReport(const RunInfo& run, const std::vector<PluginReport>& reports) {
  ordered_json document;
  document["format"] = "plughost check";
  document["formatVersion"] = JsonFormatVersion;
  document["plughostVersion"] = run.plughostVersion;
  document["options"] = {{"timeoutMs", run.timeoutMs},
                         {"targetClass", run.targetClass},
                         {"seed", run.seed},
                         {"events", run.events},
                         {"warningsAsErrors", run.warningsAsErrors},
                         {"include", run.include},
                         {"exclude", run.exclude}};
  document["system"] = {{"windowsVersion", run.windowsVersion},
                        {"wow64", run.wow64},
                        {"wineVersion", run.wineVersion.empty() ? ordered_json(nullptr)
                                                                : ordered_json(run.wineVersion)}};
  ordered_json plugins = ordered_json::array();
  int failed = 0;
  for (const PluginReport& report : reports) {
    ordered_json checks = ordered_json::array();
    for (const CheckRecord& check : report.checks) {
      ordered_json evidence = ordered_json::array();
      for (const Finding& finding : check.findings) {
        evidence.push_back({{"verdict", VerdictWord(finding.verdict)}, {"text", finding.evidence}});
      }
      checks.push_back({{"name", check.name},
                        {"verdict", VerdictWord(check.verdict())},
                        {"evidence", evidence},
                        {"durationMs", check.durationMs}});
    }
    ordered_json summary;
    for (const Verdict verdict :
         {Verdict::Pass, Verdict::Warn, Verdict::Fail, Verdict::Skip, Verdict::Note}) {
      summary[Lower(VerdictWord(verdict))] = report.Count(verdict);
    }
    const bool pluginFailed = report.Failed(run.warningsAsErrors);
    failed += pluginFailed ? 1 : 0;
    summary["passed"] = !pluginFailed;
    plugins.push_back({{"path", report.path},
                       {"name", report.name},
                       {"size", report.size},
                       {"sha256", report.sha256},
                       {"checks", checks},
                       {"summary", summary}});
  }
  document["plugins"] = plugins;
  document["summary"] = {{"plugins", reports.size()},
                         {"passed", static_cast<int>(reports.size()) - failed},
                         {"failed", failed}};
  return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string JunitReport(const RunInfo& run, const std::vector<PluginReport>& reports) {
  struct Totals {
    int tests = 0, failures = 0, skipped = 0;
    double milliseconds = 0;
    [[nodiscard]] Attributes Of(const std::string& name) const {
      return {{"name", name},
              {"tests", std::to_string(tests)},
              {"failures", std::to_string(failures)},
              {"errors", "0"},
              {"skipped", std::to_string(skipped)},
              {"time", Seconds(milliseconds)}};
    }
  };
  Totals all;
  std::string suites;
  for (const PluginReport& report : reports) {
    Totals suite;
    std::string cases;
    for (const CheckRecord& check : report.checks) {
      const Verdict verdict = check.verdict();
      const bool failure =
          verdict == Verdict::Fail || (run.warningsAsErrors && verdict == Verdict::Warn);
      const std::string& first = check.findings.front().evidence;
      cases += "    " +
               Open("testcase", {{"classname", report.name},
                                 {"name", check.name},
                                 {"time", Seconds(check.durationMs)}}) +
               "\n";
      if (failure) {
        cases += "      " + Open("failure", {{"message", first}, {"type", VerdictWord(verdict)}}) +
                 EscapeXml(Evidence(check)) + "</failure>\n";
      } else if (verdict == Verdict::Skip) {
        cases += "      " + Empty("skipped", {{"message", first}}) + "\n";
      }
      cases += "      <system-out>" + EscapeXml(Evidence(check)) + "</system-out>\n";
      cases += "    </testcase>\n";
      ++suite.tests;
      suite.failures += failure ? 1 : 0;
      suite.skipped += verdict == Verdict::Skip ? 1 : 0;
      suite.milliseconds += check.durationMs;
    }
    suites += "  " + Open("testsuite", suite.Of(report.name)) + "\n    <properties>\n";
    for (const auto& [name, value] : Attributes{{"path", report.path},
                                                {"sha256", report.sha256},
                                                {"seed", std::to_string(run.seed)}}) {
      suites += "      " + Empty("property", {{"name", name}, {"value", value}}) + "\n";
    }
    suites += "    </properties>\n" + cases + "  </testsuite>\n";
    all.tests += suite.tests;
    all.failures += suite.failures;
    all.skipped += suite.skipped;
    all.milliseconds += suite.milliseconds;
  }
  return R"(<?xml version="1.0" encoding="UTF-8"?>)"
         "\n" +
         Open("testsuites", all.Of("plughost check")) + "\n" + suites + "</testsuites>\n";
}

std::string ListText(const std::vector<CheckListing>& checks) {
  std::string text;
  for (const CheckListing& check : checks) {
    char head[32];
    std::snprintf(head, sizeof head, "%-24s", check.name.c_str());
    text += head + check.description + "\n";
  }
  return text;
}

std::string ListJson(const std::vector<CheckListing>& checks) {
  ordered_json list = ordered_json::array();
  for (const CheckListing& check : checks) {
    list.push_back({{"name", check.name}, {"description", check.description}});
  }
  return list.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace plughost
