#pragma once

// The system plughost runs on, for its reports.

#include <string>

namespace plughost {

struct SystemInfo {
  std::string windowsVersion;  // "10.0.19045", as the system itself says
  bool wow64 = false;          // a 32-bit process on 64-bit Windows
  std::string wineVersion;     // empty where it is not Wine
};

SystemInfo ReadSystemInfo();

}  // namespace plughost
