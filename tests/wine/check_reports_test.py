"""plughost check's JSON and JUnit reports, read back with real parsers: every field a CI server
relies on, checked against the files themselves and against check's own list of checks."""

import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

RUN_UNDER_WINE, WINE_STATE, BIN, VERSION = sys.argv[1:5]
PLUGINS = ["Morlune.dll", "StuckKeyPlugin.dll"]


def plughost(*arguments):
    return subprocess.run([RUN_UNDER_WINE, WINE_STATE, "plughost.exe", *arguments], cwd=BIN,
                          capture_output=True, text=True, timeout=900)


class CheckReports(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.junit_name = "check-report-test.xml"
        cls.result = plughost("check", "--json", "--junit", cls.junit_name, "--seed", "77",
                              "--events", "500", *PLUGINS)
        cls.listed = json.loads(plughost("check", "--list", "--json").stdout)

    def test_exit_status_and_nothing_but_json_on_standard_output(self):
        self.assertEqual(self.result.returncode, 1, self.result.stderr)
        json.loads(self.result.stdout)

    def test_json_names_the_run(self):
        report = json.loads(self.result.stdout)
        self.assertEqual(report["formatVersion"], 1)
        self.assertEqual(report["plughostVersion"], VERSION)
        self.assertEqual(report["options"]["seed"], 77)
        self.assertEqual(report["options"]["timeoutMs"], 5000)
        self.assertEqual(report["options"]["events"], 500)
        self.assertEqual(report["options"]["targetClass"], "ThunderRT6FormDC")
        self.assertIn("windowsVersion", report["system"])
        self.assertIsInstance(report["system"]["wow64"], bool)
        self.assertTrue(report["system"]["wineVersion"])
        self.assertEqual(report["summary"], {"plugins": 2, "passed": 1, "failed": 1})

    def test_json_names_each_plugin_and_every_check(self):
        report = json.loads(self.result.stdout)
        names = [check["name"] for check in self.listed]
        for plugin, file_name in zip(report["plugins"], PLUGINS):
            with open(os.path.join(BIN, file_name), "rb") as dll:
                data = dll.read()
            self.assertEqual(plugin["name"], file_name)
            self.assertTrue(plugin["path"].endswith("\\" + file_name), plugin["path"])
            self.assertEqual(plugin["size"], len(data))
            self.assertEqual(plugin["sha256"], hashlib.sha256(data).hexdigest())
            self.assertEqual([check["name"] for check in plugin["checks"]], names)
            for check in plugin["checks"]:
                self.assertIn(check["verdict"], {"PASS", "WARN", "FAIL", "SKIP", "NOTE"})
                self.assertGreaterEqual(check["durationMs"], 0)
                self.assertTrue(check["evidence"] and all(line["text"] for line in check["evidence"]))
            counted = {verdict.lower(): 0 for verdict in ("PASS", "WARN", "FAIL", "SKIP", "NOTE")}
            for check in plugin["checks"]:
                counted[check["verdict"].lower()] += 1
            self.assertEqual({k: plugin["summary"][k] for k in counted}, counted)
        stuck = {check["name"]: check for check in report["plugins"][1]["checks"]}
        self.assertEqual(stuck["HandleKey, target open"]["verdict"], "FAIL")
        self.assertIn("HandleKey(0, 30, 1) left Ctrl down",
                      stuck["HandleKey, target open"]["evidence"][0]["text"])
        self.assertFalse(report["plugins"][1]["summary"]["passed"])
        self.assertTrue(report["plugins"][0]["summary"]["passed"])

    def test_junit_has_a_case_per_check_and_a_failure_per_fail(self):
        root = ElementTree.parse(os.path.join(BIN, self.junit_name)).getroot()
        self.assertEqual(root.tag, "testsuites")
        suites = root.findall("testsuite")
        self.assertEqual([suite.get("name") for suite in suites], PLUGINS)
        report = json.loads(self.result.stdout)
        for suite, plugin in zip(suites, report["plugins"]):
            cases = suite.findall("testcase")
            self.assertEqual([case.get("name") for case in cases],
                             [check["name"] for check in plugin["checks"]])
            failed = [case.get("name") for case in cases if case.find("failure") is not None]
            self.assertEqual(failed, [check["name"] for check in plugin["checks"]
                                      if check["verdict"] == "FAIL"])
            self.assertEqual(int(suite.get("failures")), len(failed))
            for case in cases:
                float(case.get("time"))
        self.assertEqual(int(root.get("tests")), sum(len(p["checks"]) for p in report["plugins"]))

    def test_a_skip_is_skipped_in_junit(self):
        with tempfile.TemporaryDirectory(dir=BIN) as folder:
            name = os.path.join(os.path.basename(folder), "skips.xml")
            run = plughost("check", "--junit", name, "--include", "^(exports|load|cdecl)$",
                           "MissingExportPlugin.dll")
            self.assertEqual(run.returncode, 1)
            root = ElementTree.parse(os.path.join(BIN, name)).getroot()
            cases = {case.get("name"): case for case in root.iter("testcase")}
            self.assertIsNotNone(cases["exports"].find("failure"))
            self.assertIsNotNone(cases["load"].find("failure"))
            self.assertIn("did not load", cases["cdecl"].find("skipped").get("message"))
            self.assertEqual(root.get("skipped"), "1")

    def test_list_json_is_the_text_list(self):
        text = plughost("check", "--list").stdout.splitlines()
        self.assertEqual([line[:24].rstrip() for line in text],
                         [check["name"] for check in self.listed])
        self.assertEqual([line[24:] for line in text],
                         [check["description"] for check in self.listed])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
