#include "tools/plughost/system_info.h"

#include <windows.h>

namespace plughost {

SystemInfo ReadSystemInfo() {
  SystemInfo info;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  // RtlGetVersion, unlike GetVersionEx, answers truthfully without a manifest.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineGetVersionFunction = const char*(__cdecl*)();
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
      rtlGetVersion != nullptr && rtlGetVersion(&version) == 0) {
    info.windowsVersion = std::to_string(version.dwMajorVersion) + "." +
                          std::to_string(version.dwMinorVersion) + "." +
                          std::to_string(version.dwBuildNumber);
  }
  BOOL wow64 = FALSE;
  info.wow64 = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  if (const auto wineGetVersion = reinterpret_cast<WineGetVersionFunction>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))) {
    info.wineVersion = wineGetVersion();
  }
  return info;
}

}  // namespace plughost
