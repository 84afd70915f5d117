#pragma once

// The named exports of a loaded module, read from its export directory in memory.

#include <windows.h>

#include <string>
#include <vector>

namespace hostkit {

struct ExportEntry {
  DWORD ordinal;
  std::string name;
};

struct ExportTable {
  std::string moduleName;            // the name the export directory gives itself
  std::vector<ExportEntry> entries;  // by ordinal
};

ExportTable ReadExportTable(HMODULE module);

}  // namespace hostkit
