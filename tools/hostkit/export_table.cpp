#include "tools/hostkit/export_table.h"

#include <algorithm>

namespace hostkit {

ExportTable ReadExportTable(HMODULE module) {
  ExportTable table;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0 || directory.Size == 0) return table;

  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  table.moduleName = reinterpret_cast<const char*>(base + exports->Name);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    table.entries.push_back(
        {exports->Base + ordinals[i], reinterpret_cast<const char*>(base + names[i])});
  }
  std::sort(table.entries.begin(), table.entries.end(),
            [](const ExportEntry& a, const ExportEntry& b) { return a.ordinal < b.ordinal; });
  return table;
}

}  // namespace hostkit
