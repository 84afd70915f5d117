// plughost check: does a plug-in keep the host's contract? The checks of the registry on each
// plug-in named, one line per finding as they run, a summary per plug-in and a tally; or one
// JSON document; and JUnit XML for a CI server. Every keystroke is swallowed, so nothing types
// into the user's windows.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <vector>

#include "tools/plughost/check_registry.h"
#include "tools/plughost/check_report.h"
#include "tools/plughost/check_runner.h"
#include "tools/plughost/command_errors.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/system_info.h"

namespace plughost {
namespace {

std::vector<CheckListing> Listing() {
  std::vector<CheckListing> listing;
  for (const CheckEntry& entry : CheckRegistry())
    listing.push_back({entry.name, entry.description});
  return listing;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Every DLL in `folder`, by name.
std::vector<std::string> DllsIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\*.dll").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.emplace_back(found.cFileName);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const std::string& name : names) paths.push_back(folder + '\\' += name);
  return paths;
}

// A seed of its own for each run that is given none.
std::uint32_t NewSeed() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return static_cast<std::uint32_t>(counter.QuadPart ^ (counter.QuadPart >> 32) ^
                                    (GetCurrentProcessId() << 16));
}

}  // namespace

int Check(const CommandLine& commandLine) {
  const CheckOptions& options = commandLine.check;
  if (options.list) {
    std::fputs((options.json ? ListJson(Listing()) : ListText(Listing())).c_str(), stdout);
    return Success;
  }
  std::vector<std::string> dlls;
  for (const std::string& path : options.paths) {
    if (!IsFolder(path)) {
      dlls.push_back(path);
      continue;
    }
    const std::vector<std::string> inFolder = DllsIn(path);
    if (inFolder.empty()) {
      std::fprintf(stderr, "plughost: no DLL in the folder %s (see plughost --help)\n",
                   path.c_str());
      return UsageFailure;
    }
    dlls.insert(dlls.end(), inFolder.begin(), inFolder.end());
  }

  const std::regex include(options.include.empty() ? "" : options.include);
  const std::regex exclude(options.exclude.empty() ? "" : options.exclude);
  const auto selected = [&](const std::string& check) {
    if (!options.include.empty() && !std::regex_search(check, include)) return false;
    return options.exclude.empty() || !std::regex_search(check, exclude);
  };
  const SystemInfo system = ReadSystemInfo();
  RunInfo run{PLUGHOST_VERSION,        commandLine.timeoutMs,
              commandLine.targetClass, options.seed.value_or(NewSeed()),
              options.events,          options.warningsAsErrors,
              options.include,         options.exclude,
              system.windowsVersion,   system.wow64,
              system.wineVersion};

  std::vector<PluginReport> reports;
  bool failed = false;
  for (const std::string& dll : dlls) {
    if (!options.json && !reports.empty()) std::printf("\n");
    PluginReport report = RunChecks(commandLine, dll, run.seed, selected,
                                    [&](const std::string& check, const Finding& f) {
                                      if (options.json) return;
                                      std::printf("%s\n", TextLine(check, f).c_str());
                                      std::fflush(stdout);
                                    });
    if (!options.json) std::printf("%s\n", SummaryLine(report).c_str());
    failed = failed || report.Failed(options.warningsAsErrors);
    reports.push_back(std::move(report));
  }
  if (!options.json && reports.size() > 1) {
    std::printf("\n%s\n", TallyLine(reports, options.warningsAsErrors).c_str());
  }
  if (options.json) std::fputs(JsonReport(run, reports).c_str(), stdout);
  std::fflush(stdout);
  if (!options.junitPath.empty()) {
    std::ofstream junit(options.junitPath, std::ios::binary);
    junit << JunitReport(run, reports);
    if (!junit) {
      PrintError("cannot write " + options.junitPath);
      return PluginFailure;
    }
  }
  return failed ? PluginFailure : Success;
}

}  // namespace plughost
