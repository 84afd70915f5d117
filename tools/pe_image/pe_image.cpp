#include "tools/pe_image/pe_image.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <utility>

#include "tools/strings/hex.h"

namespace pe_image {
namespace {

// The file may be anyone's: every count below is capped so that no input can make the parser
// take unbounded time or memory, whatever its offsets point at.
constexpr std::size_t MaxSections = 96;  // what Windows XP loads; real plug-ins have a handful
constexpr std::size_t MaxNameLength = 4096;
constexpr std::size_t MaxNameBytes = std::size_t{16} << 20;
constexpr std::size_t MaxExportFunctions = 65536;  // ordinals are 16-bit
constexpr std::size_t MaxImportedModules = 4096;
constexpr std::size_t MaxImportedFunctions = 65536;
constexpr std::uint64_t MaxFileSize = std::uint64_t{256} << 20;

constexpr std::uint16_t FileRelocsStripped = 0x0001;
constexpr std::uint16_t FileDll = 0x2000;
constexpr std::uint16_t DllDynamicBase = 0x0040;
constexpr std::uint16_t DllNxCompat = 0x0100;
constexpr std::uint16_t DllNoSeh = 0x0400;
constexpr std::uint16_t MagicPe32 = 0x10B;
constexpr std::uint16_t MagicPe32Plus = 0x20B;

constexpr std::size_t ExportDirectory = 0;
constexpr std::size_t ImportDirectory = 1;
constexpr std::size_t RelocationDirectory = 5;
constexpr std::size_t DirectoryCount = 16;

constexpr std::size_t ExportDirectorySize = 40;
constexpr std::size_t ImportDescriptorSize = 20;
constexpr std::size_t SectionHeaderSize = 40;

std::string AtRva(std::uint64_t rva) {
  return " at RVA " + strings::Hex(rva);
}

template <typename T>
T LoadLittleEndian(std::span<const std::uint8_t> bytes) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(bytes[i]) << (8 * i);
  return value;
}

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t virtualSize;
  std::uint32_t rawOffset;
  std::uint32_t rawSize;
};

struct Directory {
  std::uint32_t rva;
  std::uint32_t size;
};

class Parser {
 public:
  explicit Parser(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::optional<PeImage> Parse(std::string& error) {
    PeImage image;
    if (!ParseHeaders(image) || !ParseExports(image) || !ParseImports(image)) {
      error = std::move(error_);
      return std::nullopt;
    }
    return image;
  }

 private:
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  // A value at a file offset, or nothing past the end of the file.
  template <typename T>
  [[nodiscard]] std::optional<T> FileValue(std::uint64_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return std::nullopt;
    return LoadLittleEndian<T>(bytes_.subspan(offset, sizeof(T)));
  }

  // The bytes the image holds from `rva` to the end of the section (or headers) holding it,
  // as far as the file has them; empty when no part of the file maps there.
  [[nodiscard]] std::span<const std::uint8_t> Mapped(std::uint64_t rva) const {
    for (const Section& section : sections_) {
      std::uint64_t extent = section.rawSize;
      if (section.virtualSize != 0) extent = std::min<std::uint64_t>(extent, section.virtualSize);
      if (rva < section.virtualAddress || rva - section.virtualAddress >= extent) continue;
      const std::uint64_t begin = section.rawOffset + (rva - section.virtualAddress);
      const std::uint64_t end = std::min<std::uint64_t>(section.rawOffset + extent, bytes_.size());
      if (begin >= end) return {};
      return bytes_.subspan(begin, end - begin);
    }
    const std::uint64_t headersEnd = std::min<std::uint64_t>(sizeOfHeaders_, bytes_.size());
    if (rva < headersEnd) return bytes_.subspan(rva, headersEnd - rva);
    return {};
  }

  // `count` elements of `elementSize` bytes at `rva`, or nothing when they do not all fit.
  [[nodiscard]] std::optional<std::span<const std::uint8_t>> Array(std::uint64_t rva,
                                                                   std::uint64_t count,
                                                                   std::size_t elementSize) const {
    const std::span<const std::uint8_t> bytes = Mapped(rva);
    if (count > bytes.size() / elementSize) return std::nullopt;
    return bytes.first(count * elementSize);
  }

  bool String(std::uint64_t rva, std::string_view what, std::string& out) {
    const std::span<const std::uint8_t> bytes = Mapped(rva);
    if (bytes.empty()) return Fail(std::string(what) + AtRva(rva) + " is outside the file");
    const auto window = bytes.first(std::min(bytes.size(), MaxNameLength + 1));
    const auto nul = std::find(window.begin(), window.end(), std::uint8_t{0});
    if (nul == window.end()) {
      if (window.size() > MaxNameLength) {
        return Fail(std::string(what) + AtRva(rva) + " is longer than " +
                    std::to_string(MaxNameLength) + " bytes");
      }
      return Fail(std::string(what) + AtRva(rva) + " runs past the end of its section");
    }
    const auto length = static_cast<std::size_t>(nul - window.begin());
    nameBytes_ += length;
    if (nameBytes_ > MaxNameBytes) return Fail("names take more than 16 MiB");
    out.assign(window.begin(), nul);
    return true;
  }

  bool ParseHeaders(PeImage& image) {
    if (bytes_.size() < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z') {
      return Fail("not a PE file: no MZ header");
    }
    const std::uint32_t peOffset = *FileValue<std::uint32_t>(0x3C);
    if (FileValue<std::uint32_t>(peOffset) != std::optional<std::uint32_t>(0x00004550)) {
      return Fail("not a PE file: no PE signature at offset " + strings::Hex(peOffset));
    }
    const std::uint64_t fileHeader = std::uint64_t{peOffset} + 4;
    if (fileHeader + 20 > bytes_.size()) return Fail("truncated COFF file header");
    image.machine = *FileValue<std::uint16_t>(fileHeader);
    const std::uint16_t sectionCount = *FileValue<std::uint16_t>(fileHeader + 2);
    const std::uint16_t optionalHeaderSize = *FileValue<std::uint16_t>(fileHeader + 16);
    image.characteristics = *FileValue<std::uint16_t>(fileHeader + 18);
    image.isDll = (image.characteristics & FileDll) != 0;

    const std::uint64_t optionalHeader = fileHeader + 20;
    const auto magic = FileValue<std::uint16_t>(optionalHeader);
    if (optionalHeaderSize < 2 || !magic) return Fail("truncated optional header");
    if (*magic != MagicPe32 && *magic != MagicPe32Plus) {
      return Fail("unknown optional header magic " + strings::Hex(*magic));
    }
    image.isPe32 = *magic == MagicPe32;
    thunkSize_ = image.isPe32 ? 4 : 8;
    const std::uint64_t directoriesOffset = image.isPe32 ? 96 : 112;
    if (optionalHeaderSize < directoriesOffset) {
      return Fail("optional header of " + std::to_string(optionalHeaderSize) +
                  " bytes is too small");
    }
    const auto headersSize = FileValue<std::uint32_t>(optionalHeader + 60);
    const auto dllCharacteristics = FileValue<std::uint16_t>(optionalHeader + 70);
    const auto directoryCount = FileValue<std::uint32_t>(optionalHeader + directoriesOffset - 4);
    if (!headersSize || !dllCharacteristics || !directoryCount) {
      return Fail("truncated optional header");
    }
    sizeOfHeaders_ = *headersSize;
    image.dllCharacteristics = *dllCharacteristics;
    image.dynamicBase = (image.dllCharacteristics & DllDynamicBase) != 0;
    image.nxCompat = (image.dllCharacteristics & DllNxCompat) != 0;
    image.noSeh = (image.dllCharacteristics & DllNoSeh) != 0;

    const auto present = std::min<std::uint64_t>(
        {*directoryCount, DirectoryCount, (optionalHeaderSize - directoriesOffset) / 8});
    for (std::uint64_t i = 0; i < present; ++i) {
      const std::uint64_t at = optionalHeader + directoriesOffset + i * 8;
      const auto rva = FileValue<std::uint32_t>(at);
      const auto size = FileValue<std::uint32_t>(at + 4);
      if (!rva || !size) return Fail("truncated optional header");
      directories_.at(i) = {*rva, *size};
    }
    const Directory& relocations = directories_[RelocationDirectory];
    image.hasRelocations = relocations.rva != 0 && relocations.size != 0 &&
                           (image.characteristics & FileRelocsStripped) == 0;

    if (sectionCount > MaxSections) {
      return Fail(std::to_string(sectionCount) + " sections: more than the " +
                  std::to_string(MaxSections) + " this reader takes");
    }
    const std::uint64_t sectionTable = optionalHeader + optionalHeaderSize;
    if (sectionTable + std::uint64_t{sectionCount} * SectionHeaderSize > bytes_.size()) {
      return Fail("truncated section table");
    }
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
      const std::uint64_t at = sectionTable + i * SectionHeaderSize;
      sections_.push_back({*FileValue<std::uint32_t>(at + 12), *FileValue<std::uint32_t>(at + 8),
                           *FileValue<std::uint32_t>(at + 20), *FileValue<std::uint32_t>(at + 16)});
    }
    return true;
  }

  bool ParseExports(PeImage& image) {
    const Directory directory = directories_[ExportDirectory];
    if (directory.rva == 0 || directory.size == 0) return true;
    const auto header = Array(directory.rva, 1, ExportDirectorySize);
    if (!header) return Fail("export directory" + AtRva(directory.rva) + " is truncated");
    const auto field = [&](std::size_t offset) {
      return LoadLittleEndian<std::uint32_t>(header->subspan(offset));
    };
    const std::uint32_t nameRva = field(12);
    image.exportOrdinalBase = field(16);
    image.exportFunctionCount = field(20);
    const std::uint32_t nameCount = field(24);
    if (nameRva != 0 && !String(nameRva, "export module name", image.exportModuleName)) {
      return false;
    }
    if (image.exportFunctionCount > MaxExportFunctions || nameCount > MaxExportFunctions) {
      return Fail("export table of " + std::to_string(image.exportFunctionCount) +
                  " functions and " + std::to_string(nameCount) +
                  " names: more than 16-bit ordinals can number");
    }
    if (std::uint64_t{image.exportOrdinalBase} + image.exportFunctionCount > 0x10000) {
      return Fail("export ordinals from " + std::to_string(image.exportOrdinalBase) + " for " +
                  std::to_string(image.exportFunctionCount) + " functions exceed 65535");
    }
    const auto functions = Array(field(28), image.exportFunctionCount, 4);
    const auto names = Array(field(32), nameCount, 4);
    const auto nameOrdinals = Array(field(36), nameCount, 2);
    if (!functions) return Fail("export address table" + AtRva(field(28)) + " is truncated");
    if (!names) return Fail("export name table" + AtRva(field(32)) + " is truncated");
    if (!nameOrdinals) return Fail("export ordinal table" + AtRva(field(36)) + " is truncated");

    std::vector<bool> named(image.exportFunctionCount, false);
    for (std::size_t i = 0; i < nameCount; ++i) {
      const auto index = LoadLittleEndian<std::uint16_t>(nameOrdinals->subspan(i * 2));
      std::string name;
      if (!String(LoadLittleEndian<std::uint32_t>(names->subspan(i * 4)), "export name", name)) {
        return false;
      }
      if (index >= image.exportFunctionCount) {
        return Fail("export " + name + " names function " + std::to_string(index) + " of " +
                    std::to_string(image.exportFunctionCount));
      }
      named[index] = true;
      if (!AddExport(image, directory, *functions, index, std::move(name))) return false;
    }
    for (std::uint32_t index = 0; index < image.exportFunctionCount; ++index) {
      if (named[index] ||
          LoadLittleEndian<std::uint32_t>(functions->subspan(std::size_t{index} * 4)) == 0) {
        continue;  // an unused ordinal
      }
      if (!AddExport(image, directory, *functions, index, {})) return false;
    }
    // By ordinal, the names of one function by name: a total order, so no stable sort needed.
    std::sort(image.exports.begin(), image.exports.end(),
              [](const ExportedFunction& a, const ExportedFunction& b) {
                return a.ordinal != b.ordinal ? a.ordinal < b.ordinal : a.name < b.name;
              });
    return true;
  }

  bool AddExport(PeImage& image, const Directory& directory,
                 std::span<const std::uint8_t> functions, std::uint32_t index, std::string name) {
    const auto rva = LoadLittleEndian<std::uint32_t>(functions.subspan(std::size_t{index} * 4));
    // A function whose address lies inside the export directory is a forwarder string.
    const bool forwarded = rva >= directory.rva && rva - directory.rva < directory.size;
    std::string forwarder;
    if (forwarded && !String(rva, "forwarder of export " + name, forwarder)) return false;
    image.exports.push_back(
        {image.exportOrdinalBase + index, std::move(name), forwarded, std::move(forwarder)});
    return true;
  }

  bool ParseImports(PeImage& image) {
    const Directory directory = directories_[ImportDirectory];
    if (directory.rva == 0 || directory.size == 0) return true;
    std::size_t functionCount = 0;
    for (std::uint64_t i = 0;; ++i) {
      const std::uint64_t rva = directory.rva + i * ImportDescriptorSize;
      const auto descriptor = Array(rva, 1, ImportDescriptorSize);
      if (!descriptor) return Fail("import descriptor" + AtRva(rva) + " is truncated");
      const auto field = [&](std::size_t offset) {
        return LoadLittleEndian<std::uint32_t>(descriptor->subspan(offset));
      };
      const std::uint32_t lookupTable = field(0);
      const std::uint32_t nameRva = field(12);
      const std::uint32_t addressTable = field(16);
      // The loader stops at the first descriptor without a name or an address table.
      if (nameRva == 0 || addressTable == 0) return true;
      if (image.imports.size() == MaxImportedModules) {
        return Fail("more than " + std::to_string(MaxImportedModules) + " imported modules");
      }
      ImportedModule module;
      if (!String(nameRva, "imported module name", module.name)) return false;
      const std::uint32_t thunksRva = lookupTable != 0 ? lookupTable : addressTable;
      const std::span<const std::uint8_t> thunks = Mapped(thunksRva);
      for (std::size_t at = 0;; at += thunkSize_) {
        if (thunks.size() - at < thunkSize_) {
          return Fail("imports from " + module.name + AtRva(thunksRva) +
                      " run past the end of their section");
        }
        const std::uint64_t thunk = thunkSize_ == 4
                                        ? LoadLittleEndian<std::uint32_t>(thunks.subspan(at))
                                        : LoadLittleEndian<std::uint64_t>(thunks.subspan(at));
        if (thunk == 0) break;
        if (++functionCount > MaxImportedFunctions) {
          return Fail("more than " + std::to_string(MaxImportedFunctions) + " imported functions");
        }
        const std::uint64_t byOrdinal = std::uint64_t{1} << (thunkSize_ * 8 - 1);
        if ((thunk & byOrdinal) != 0) {
          module.functions.push_back("#" + std::to_string(thunk & 0xFFFF));
          continue;
        }
        // Past the two-byte hint of the hint/name entry.
        std::string function;
        if (!String((thunk & 0x7FFFFFFF) + 2, "function imported from " + module.name, function)) {
          return false;
        }
        module.functions.push_back(std::move(function));
      }
      image.imports.push_back(std::move(module));
    }
  }

  std::span<const std::uint8_t> bytes_;
  std::vector<Section> sections_;
  std::array<Directory, DirectoryCount> directories_{};
  std::uint32_t sizeOfHeaders_ = 0;
  std::size_t thunkSize_ = 4;
  std::size_t nameBytes_ = 0;
  std::string error_;
};

bool IsDecoration(std::string_view suffix) {
  // "@N", the byte count of a stdcall function's arguments.
  return suffix.size() >= 2 && suffix[0] == '@' &&
         std::all_of(suffix.begin() + 1, suffix.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsDecoratedFormOf(std::string_view name, std::string_view wanted) {
  if (name == wanted) return false;
  if (name.starts_with('_')) {
    name.remove_prefix(1);
    if (name == wanted) return true;
  }
  return name.starts_with(wanted) && IsDecoration(name.substr(wanted.size()));
}

}  // namespace

std::optional<PeImage> ParsePeImage(std::span<const std::uint8_t> bytes, std::string& error) {
  return Parser(bytes).Parse(error);
}

std::optional<PeImage> ReadPeImage(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > MaxFileSize) {
    error = path + " is larger than 256 MiB or cannot be read";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  return ParsePeImage(bytes, error);
}

std::optional<std::string> FindDecoratedExport(const PeImage& image, std::string_view wanted) {
  for (const ExportedFunction& function : image.exports) {
    if (IsDecoratedFormOf(function.name, wanted)) return function.name;
  }
  return std::nullopt;
}

}  // namespace pe_image
