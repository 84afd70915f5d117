// plughost info: the exports, the version block and the plug-in's answers to the host's queries.

#include <cstdint>
#include <optional>

#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/version_info.h"
#include "tools/pe_image/pe_image.h"
#include "tools/plughost/command_errors.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {
namespace {

std::string VersionText(DWORD mostSignificant, DWORD leastSignificant) {
  return std::to_string(HIWORD(mostSignificant)) + "." + std::to_string(LOWORD(mostSignificant)) +
         "." + std::to_string(HIWORD(leastSignificant)) + "." +
         std::to_string(LOWORD(leastSignificant));
}

void PrintVersionBlock(const std::string& path) {
  std::printf("\nVersion block:\n");
  const auto version = hostkit::ReadVersionInfo(path);
  if (!version) {
    std::printf("  (none)\n");
    return;
  }
  std::printf("  %-22s %s\n", "file version",
              VersionText(version->fixed.dwFileVersionMS, version->fixed.dwFileVersionLS).c_str());
  std::printf(
      "  %-22s %s\n", "product version",
      VersionText(version->fixed.dwProductVersionMS, version->fixed.dwProductVersionLS).c_str());
  std::printf("  %-22s %04x %04x\n", "translation", version->language, version->codePage);
  for (const std::string& name : version->stringNames) {
    std::printf("  %-22s \"%s\"\n", name.c_str(), version->strings.at(name).c_str());
  }
}

int ShowInfo(const CommandLine& commandLine) {
  std::optional<hostkit::StandInWindow> target;
  if (commandLine.openTarget)
    target.emplace(hostkit::StandInTitle, commandLine.targetClass.c_str());
  PluginSession plugin(commandLine.dllPath, commandLine.timeoutMs,
                       hostkit::KeyboardCapture::Delivery::Swallow);
  if (!LoadOrSayWhyNot(plugin)) return PluginFailure;

  // The file's export table, as the loader reads it: the plug-in is loaded only in the worker.
  std::string unreadable;
  const auto image = pe_image::ReadPeImage(plugin.path(), unreadable);
  std::printf("%s\n\nExports (module name \"%s\"):\n", plugin.path().c_str(),
              image ? image->exportModuleName.c_str() : "");
  if (image) {
    for (const pe_image::ExportedFunction& function : image->exports) {
      if (function.name.empty()) continue;
      std::printf("  @%lu %s\n", static_cast<unsigned long>(function.ordinal),
                  function.name.c_str());
    }
  }
  PrintVersionBlock(plugin.path());

  bool broke = false;
  const GuardedResult mask = plugin.dll().WhatKeysDoYouWant();
  std::string bits;
  for (int bit = 0; bit < 32; ++bit) {
    if (mask.value & (1u << bit)) bits += (bits.empty() ? "" : " ") + std::to_string(bit);
  }
  std::printf("\nWhatKeysDoYouWant              0x%08lX (bits set: %s)\n",
              static_cast<unsigned long>(mask.value), bits.empty() ? "none" : bits.c_str());
  broke |= PrintBreach(mask.breach);
  const GuardedResult functions = plugin.dll().EnumerateProgrammableFunction({});
  std::printf("EnumerateProgrammableFunction  %ld\n", static_cast<long>(functions.value));
  broke |= PrintBreach(functions.breach);
  const GuardedResult focus = plugin.dll().AreYouInFocus();
  std::printf("AreYouInFocus                  %ld\n", static_cast<long>(focus.value));
  broke |= PrintBreach(focus.breach);
  return broke ? PluginFailure : Success;
}

}  // namespace

int Info(const CommandLine& commandLine) {
  return Supervised([&] { return ShowInfo(commandLine); });
}

}  // namespace plughost
