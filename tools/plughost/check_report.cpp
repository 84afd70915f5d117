#include "tools/plughost/check_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

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

std::string EscapeXml(const std::string& text) {
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
  return document.dump(2) + "\n";
}

std::string JunitReport(const RunInfo& run, const std::vector<PluginReport>& reports) {
  int tests = 0;
  int failures = 0;
  int skipped = 0;
  double milliseconds = 0;
  std::string suites;
  for (const PluginReport& report : reports) {
    int suiteFailures = 0;
    int suiteSkipped = 0;
    double suiteMs = 0;
    std::string cases;
    for (const CheckRecord& check : report.checks) {
      const Verdict verdict = check.verdict();
      const bool failure =
          verdict == Verdict::Fail || (run.warningsAsErrors && verdict == Verdict::Warn);
      const std::string first = EscapeXml(check.findings.front().evidence);
      cases += "    <testcase classname=\"" + EscapeXml(report.name) + "\" name=\"" +
               EscapeXml(check.name) + "\" time=\"" + Seconds(check.durationMs) + "\">\n";
      if (failure) {
        cases += "      <failure message=\"" + first + "\" type=\"" + VerdictWord(verdict) + "\">" +
                 EscapeXml(Evidence(check)) + "</failure>\n";
      } else if (verdict == Verdict::Skip) {
        cases += "      <skipped message=\"" + first + "\"/>\n";
      }
      cases += "      <system-out>" + EscapeXml(Evidence(check)) + "</system-out>\n";
      cases += "    </testcase>\n";
      suiteFailures += failure ? 1 : 0;
      suiteSkipped += verdict == Verdict::Skip ? 1 : 0;
      suiteMs += check.durationMs;
    }
    suites += "  <testsuite name=\"" + EscapeXml(report.name) + "\" tests=\"" +
              std::to_string(report.checks.size()) + "\" failures=\"" +
              std::to_string(suiteFailures) + "\" errors=\"0\" skipped=\"" +
              std::to_string(suiteSkipped) + "\" time=\"" + Seconds(suiteMs) + "\">\n" +
              "    <properties>\n      <property name=\"path\" value=\"" + EscapeXml(report.path) +
              "\"/>\n      <property name=\"sha256\" value=\"" + report.sha256 +
              "\"/>\n      <property name=\"seed\" value=\"" + std::to_string(run.seed) +
              "\"/>\n    </properties>\n" + cases + "  </testsuite>\n";
    tests += static_cast<int>(report.checks.size());
    failures += suiteFailures;
    skipped += suiteSkipped;
    milliseconds += suiteMs;
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"plughost check\" "
         "tests=\"" +
         std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
         "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\"" +
         Seconds(milliseconds) + "\">\n" + suites + "</testsuites>\n";
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
  return list.dump(2) + "\n";
}

}  // namespace plughost
