#pragma once

// What a plug-in conformance check needs to know about a Windows image, read from the file's
// bytes without loading it. Free of <windows.h>, so it builds and is tested natively too.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pe_image {

inline constexpr std::uint16_t MachineI386 = 0x14C;
inline constexpr std::uint16_t MachineAmd64 = 0x8664;

struct ExportedFunction {
  std::uint32_t ordinal;
  std::string name;  // empty: exported by ordinal only
  bool forwarded;
  std::string forwarder;  // "MODULE.Function" when forwarded
};

struct ImportedModule {
  std::string name;
  std::vector<std::string> functions;  // those imported by ordinal as "#N"
};

struct PeImage {
  std::uint16_t machine = 0;  // MachineI386 for 32-bit x86
  std::uint16_t characteristics = 0;
  bool isDll = false;
  bool isPe32 = false;  // 32-bit optional header; false for PE32+
  std::uint16_t dllCharacteristics = 0;
  bool dynamicBase = false;
  bool nxCompat = false;
  bool noSeh = false;
  bool hasRelocations = false;  // a non-empty relocation directory, relocations not stripped
  std::string exportModuleName;
  std::uint32_t exportOrdinalBase = 0;
  std::uint32_t exportFunctionCount = 0;
  // By ordinal; a function with several names appears once per name, empty slots not at all.
  std::vector<ExportedFunction> exports;
  std::vector<ImportedModule> imports;
};

// Parses a whole image file. On a malformed file returns nothing, `error` saying what is wrong.
std::optional<PeImage> ParsePeImage(std::span<const std::uint8_t> bytes, std::string& error);

// Reads the file at `path`, then parses it.
std::optional<PeImage> ReadPeImage(const std::string& path, std::string& error);

// The first export whose name is a decorated form of `wanted` ("_HandleKey@12", "HandleKey@12",
// "_HandleKey"), for telling a plug-in author why the undecorated name is missing.
std::optional<std::string> FindDecoratedExport(const PeImage& image, std::string_view wanted);

}  // namespace pe_image
