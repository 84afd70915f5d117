// plughost check's reports: the lines a person reads, the JSON and JUnit a CI server reads, and
// the checksum that names the plug-in.

#include "tools/plughost/check_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/plughost/sha256.h"

namespace {

using plughost::CheckRecord;
using plughost::PluginReport;
using plughost::Verdict;

PluginReport Sample() {
  PluginReport report;
  report.path = "C:\\plugins\\Stuck & <Key>.dll";
  report.name = "Stuck & <Key>.dll";
  report.size = 4608;
  report.sha256 = std::string(64, 'a');
  report.checks = {
      CheckRecord{"file", {{Verdict::Pass, "32-bit Windows DLL (i386)"}}, 1.5},
      CheckRecord{"imports", {{Verdict::Note, "USER32.dll (keybd_event)"}}, 0.5},
      CheckRecord{"cdecl",
                  {{Verdict::Fail, "HandleKey changed EBX"},
                   {Verdict::Fail, "Configure removed 4 bytes of arguments"}},
                  12},
      CheckRecord{"AreYouInFocus", {{Verdict::Warn, "0 with a \"X\" window"}}, 3},
      CheckRecord{"reload", {{Verdict::Skip, "the DLL did not load: <why>"}}, 0},
  };
  return report;
}

plughost::RunInfo SampleRun() {
  plughost::RunInfo run;
  run.plughostVersion = "1.2.1";
  run.timeoutMs = 5000;
  run.targetClass = "ThunderRT6FormDC";
  run.seed = 1234;
  run.events = 2000;
  run.windowsVersion = "6.1.7601";
  run.wineVersion = "8.0";
  return run;
}

TEST(CheckReport, LinesCountEachCheckOnceByItsWorstFinding) {
  const PluginReport report = Sample();
  EXPECT_EQ(plughost::TextLine("cdecl", report.checks[2].findings[0]),
            "FAIL  cdecl                   HandleKey changed EBX");
  EXPECT_EQ(plughost::SummaryLine(report), "Stuck & <Key>.dll: 1 PASS, 1 WARN, 1 FAIL, 1 SKIP");
  EXPECT_TRUE(report.Failed(false));
  PluginReport warned = report;
  warned.checks.erase(warned.checks.begin() + 2);
  EXPECT_FALSE(warned.Failed(false));
  EXPECT_TRUE(warned.Failed(true)) << "--warnings-as-errors";
  EXPECT_EQ(plughost::TallyLine({report, warned}, false), "2 plug-ins checked: 1 passed, 1 failed");
}

TEST(CheckReport, JsonHoldsTheRunThePlugInsAndEveryCheck) {
  const auto json = nlohmann::json::parse(plughost::JsonReport(SampleRun(), {Sample()}));
  EXPECT_EQ(json["formatVersion"], plughost::JsonFormatVersion);
  EXPECT_EQ(json["plughostVersion"], "1.2.1");
  EXPECT_EQ(json["options"]["seed"], 1234);
  EXPECT_EQ(json["options"]["targetClass"], "ThunderRT6FormDC");
  EXPECT_EQ(json["system"]["wineVersion"], "8.0");
  EXPECT_EQ(json["system"]["wow64"], false);
  const auto& plugin = json["plugins"].at(0);
  EXPECT_EQ(plugin["path"], "C:\\plugins\\Stuck & <Key>.dll");
  EXPECT_EQ(plugin["size"], 4608);
  ASSERT_EQ(plugin["checks"].size(), 5u);
  const auto& cdecl = plugin["checks"][2];
  EXPECT_EQ(cdecl["name"], "cdecl");
  EXPECT_EQ(cdecl["verdict"], "FAIL");
  EXPECT_EQ(cdecl["evidence"].size(), 2u);
  EXPECT_EQ(cdecl["evidence"][1]["text"], "Configure removed 4 bytes of arguments");
  EXPECT_EQ(cdecl["durationMs"], 12.0);
  EXPECT_EQ(plugin["checks"][1]["verdict"], "NOTE");
  EXPECT_EQ(plugin["summary"]["fail"], 1);
  EXPECT_EQ(plugin["summary"]["skip"], 1);
  EXPECT_EQ(plugin["summary"]["passed"], false);
  EXPECT_EQ(json["summary"]["failed"], 1);

  plughost::RunInfo native = SampleRun();
  native.wineVersion.clear();
  EXPECT_TRUE(
      nlohmann::json::parse(plughost::JsonReport(native, {}))["system"]["wineVersion"].is_null());
}

TEST(CheckReport, JunitEscapesWhatItQuotes) {
  const std::string xml = plughost::JunitReport(SampleRun(), {Sample()});
  EXPECT_NE(xml.find("<testsuites name=\"plughost check\" tests=\"5\" failures=\"1\" errors=\"0\" "
                     "skipped=\"1\""),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<testsuite name=\"Stuck &amp; &lt;Key&gt;.dll\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<skipped message=\"the DLL did not load: &lt;why&gt;\"/>"), std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<failure message=\"HandleKey changed EBX\" type=\"FAIL\">"),
            std::string::npos)
      << xml;
  EXPECT_EQ(xml.find("<Key>"), std::string::npos) << xml;

  // A window title in the system's ANSI code page ("\xC0 propos") is no UTF-8.
  PluginReport ansi = Sample();
  ansi.checks[3].findings[0].evidence = "showed #32770 \"\xC0 propos\"";
  const std::string withAnsi = plughost::JunitReport(SampleRun(), {ansi});
  EXPECT_NE(withAnsi.find("&quot;\xEF\xBF\xBD propos&quot;"), std::string::npos) << withAnsi;
  EXPECT_EQ(nlohmann::json::parse(plughost::JsonReport(
                SampleRun(), {ansi}))["plugins"][0]["checks"][3]["evidence"][0]["text"],
            "showed #32770 \"\xEF\xBF\xBD propos\"");

  plughost::RunInfo strict = SampleRun();
  strict.warningsAsErrors = true;
  EXPECT_NE(plughost::JunitReport(strict, {Sample()}).find("failures=\"2\""), std::string::npos);
}

TEST(Sha256, MatchesTheStandardsVectors) {
  const auto hex = [](const std::string& text) {
    return plughost::Sha256Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  };
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block.
  EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
