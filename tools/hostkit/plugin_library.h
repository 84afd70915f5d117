#pragma once

// A plug-in DLL loaded the way the Remote Wonder host loads it: by file name, with its five
// exports resolved by name and called as cdecl.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hostkit {

// The names the host looks the exports up by, in the order of their ordinals.
inline constexpr const char* PluginExportNames[] = {"AreYouInFocus", "Configure",
                                                    "EnumerateProgrammableFunction", "HandleKey",
                                                    "WhatKeysDoYouWant"};

// Their places in that list.
namespace ExportIndex {
inline constexpr std::size_t AreYouInFocus = 0;
inline constexpr std::size_t Configure = 1;
inline constexpr std::size_t EnumerateProgrammableFunction = 2;
inline constexpr std::size_t HandleKey = 3;
inline constexpr std::size_t WhatKeysDoYouWant = 4;
}  // namespace ExportIndex

// "Crash.dll" of "C:\\plugins\\Crash.dll".
std::string FileName(const std::string& path);

// "exports HandleKey@12, ...: stdcall-decorated names; ...": why the host finds none of them.
std::string DecoratedExportsText(const std::vector<std::string>& decorated);

struct PluginExports {
  using NoArguments = std::int32_t(__cdecl*)();
  using ConfigureFunction = std::int32_t(__cdecl*)(HWND owner);
  using HandleKeyFunction = std::int32_t(__cdecl*)(std::uint32_t first, std::uint32_t keyCode,
                                                   std::uint32_t keyState);

  NoArguments AreYouInFocus;
  ConfigureFunction Configure;
  NoArguments EnumerateProgrammableFunction;
  HandleKeyFunction HandleKey;
  NoArguments WhatKeysDoYouWant;

  // The export at `index` of PluginExportNames.
  [[nodiscard]] const void* Address(std::size_t index) const;
};

class PluginLibrary {
 public:
  // Loads `path` and resolves every export; on failure returns nothing and sets `error` to a
  // one-line reason (the system's message, or the missing exports by name, with the
  // decorated names the DLL exports in their place).
  static std::optional<PluginLibrary> Load(const std::string& path, std::string& error);

  PluginLibrary(PluginLibrary&& other) noexcept;
  PluginLibrary& operator=(PluginLibrary&& other) noexcept;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  ~PluginLibrary();

  [[nodiscard]] const PluginExports& exports() const { return exports_; }
  [[nodiscard]] HMODULE module() const { return module_; }

 private:
  PluginLibrary(HMODULE module, const PluginExports& exports);

  HMODULE module_;
  PluginExports exports_;
};

// The system's text for an error code, on one line, with its first insert ("%1") filled by
// `insert` and any other dropped.
std::string SystemErrorText(DWORD code, const std::string& insert = "");

}  // namespace hostkit
