#pragma once

// Small PE images built in memory, for the PE reader's tests and fuzzer.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/pe_image/pe_image.h"

namespace pe_image_builder {

// Fixed file layout of the images built here.
constexpr std::uint32_t PeOffset = 0x40;
constexpr std::uint32_t FileHeader = PeOffset + 4;
constexpr std::uint32_t OptionalHeader = FileHeader + 20;
constexpr std::uint32_t HeadersSize = 0x200;
constexpr std::uint32_t SectionRva = 0x1000;

// A one-section image: headers, then the section at RVA 0x1000 holding whatever is added.
class ImageBuilder {
 public:
  std::uint16_t machine = pe_image::MachineI386;
  std::uint16_t characteristics = 0x2102;  // DLL, 32-bit machine, executable
  std::uint16_t magic = 0x10B;
  std::uint16_t dllCharacteristics = 0;

  [[nodiscard]] std::uint32_t ThunkSize() const { return magic == 0x10B ? 4 : 8; }
  [[nodiscard]] std::uint32_t SectionTable() const {
    return OptionalHeader + (magic == 0x10B ? 224 : 240);
  }

  std::uint32_t Reserve(std::size_t size) {
    const auto rva = static_cast<std::uint32_t>(SectionRva + section_.size());
    section_.resize((section_.size() + size + 3) & ~std::size_t{3});
    return rva;
  }
  std::uint32_t AddString(std::string_view text) {
    const std::uint32_t rva = Reserve(text.size() + 1);
    std::copy(text.begin(), text.end(), section_.begin() + (rva - SectionRva));
    return rva;
  }
  void Put(std::uint32_t rva, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
      section_.at(rva - SectionRva + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
  void SetDirectory(int index, std::uint32_t rva, std::uint32_t size) {
    directories_.at(index) = {rva, size};
  }

  [[nodiscard]] std::vector<std::uint8_t> Build() const {
    std::vector<std::uint8_t> file(HeadersSize);
    const auto put = [&](std::uint32_t offset, std::uint64_t value, std::size_t size) {
      for (std::size_t i = 0; i < size; ++i)
        file.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 'M' | ('Z' << 8), 2);
    put(0x3C, PeOffset, 4);
    put(PeOffset, 0x00004550, 4);
    put(FileHeader, machine, 2);
    put(FileHeader + 2, 1, 2);
    put(FileHeader + 16, SectionTable() - OptionalHeader, 2);
    put(FileHeader + 18, characteristics, 2);
    put(OptionalHeader, magic, 2);
    put(OptionalHeader + 60, HeadersSize, 4);
    put(OptionalHeader + 70, dllCharacteristics, 2);
    const std::uint32_t directories = OptionalHeader + (magic == 0x10B ? 96 : 112);
    put(directories - 4, directories_.size(), 4);
    for (std::size_t i = 0; i < directories_.size(); ++i) {
      put(directories + i * 8, directories_[i].first, 4);
      put(directories + i * 8 + 4, directories_[i].second, 4);
    }
    const std::uint32_t section = SectionTable();
    put(section, 0x61746164722E, 8);  // ".rdata"
    put(section + 8, section_.size(), 4);
    put(section + 12, SectionRva, 4);
    put(section + 16, section_.size(), 4);
    put(section + 20, HeadersSize, 4);
    file.insert(file.end(), section_.begin(), section_.end());
    return file;
  }

 private:
  std::vector<std::uint8_t> section_;
  std::array<std::pair<std::uint32_t, std::uint32_t>, 16> directories_{};
};

struct ExportSpec {
  std::string name;       // empty: by ordinal only
  std::string forwarder;  // empty: code in this image
};

// Writes an export directory; returns its RVA. Code exports all point at one stub before it.
inline std::uint32_t AddExports(ImageBuilder& image, std::string_view module, std::uint32_t base,
                                const std::vector<ExportSpec>& functions) {
  const std::uint32_t code = image.Reserve(4);
  const std::uint32_t directory = image.Reserve(40);
  const auto count = static_cast<std::uint32_t>(functions.size());
  std::vector<std::pair<std::string, std::uint32_t>> named;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!functions[i].name.empty()) named.emplace_back(functions[i].name, i);
  }
  const std::uint32_t addresses = image.Reserve(std::size_t{count} * 4);
  const std::uint32_t names = image.Reserve(named.size() * 4);
  const std::uint32_t ordinals = image.Reserve(named.size() * 2);
  image.Put(directory + 12, image.AddString(module), 4);
  image.Put(directory + 16, base, 4);
  image.Put(directory + 20, count, 4);
  image.Put(directory + 24, named.size(), 4);
  image.Put(directory + 28, addresses, 4);
  image.Put(directory + 32, names, 4);
  image.Put(directory + 36, ordinals, 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string& forwarder = functions[i].forwarder;
    image.Put(addresses + i * 4, forwarder.empty() ? code : image.AddString(forwarder), 4);
  }
  for (std::uint32_t i = 0; i < named.size(); ++i) {
    image.Put(names + i * 4, image.AddString(named[i].first), 4);
    image.Put(ordinals + i * 2, named[i].second, 2);
  }
  image.SetDirectory(0, directory, image.Reserve(0) - directory);
  return directory;
}

struct ImportSpec {
  std::string module;
  std::vector<std::string> functions;  // "#N": by ordinal
};

inline std::uint32_t AddImports(ImageBuilder& image, const std::vector<ImportSpec>& modules) {
  const std::uint32_t directory = image.Reserve((modules.size() + 1) * 20);
  const std::uint32_t thunk = image.ThunkSize();
  for (std::size_t m = 0; m < modules.size(); ++m) {
    const auto& functions = modules[m].functions;
    const std::uint32_t lookup = image.Reserve((functions.size() + 1) * thunk);
    const std::uint32_t addresses = image.Reserve((functions.size() + 1) * thunk);
    for (std::size_t f = 0; f < functions.size(); ++f) {
      const std::uint64_t byOrdinal = std::uint64_t{1} << (thunk * 8 - 1);
      const std::uint64_t entry =
          functions[f].starts_with('#')
              ? byOrdinal | std::stoul(functions[f].substr(1))
              : image.AddString(std::string(2, '\0') + functions[f]);  // hint, then name
      image.Put(lookup + f * thunk, entry, thunk);
      image.Put(addresses + f * thunk, entry, thunk);
    }
    const std::uint32_t descriptor = directory + m * 20;
    image.Put(descriptor, lookup, 4);
    image.Put(descriptor + 12, image.AddString(modules[m].module), 4);
    image.Put(descriptor + 16, addresses, 4);
  }
  image.SetDirectory(1, directory, (modules.size() + 1) * 20);
  return directory;
}

// A plug-in-like DLL: five exports, one of them by ordinal only, one forwarded; imports by name
// and by ordinal; relocations.
struct SampleDll {
  ImageBuilder builder;
  std::uint32_t exportDirectory;
  std::uint32_t importDirectory;
  std::vector<std::uint8_t> bytes;

  SampleDll() {
    builder.dllCharacteristics = 0x0540;  // dynamic base, NX compatible, no SEH
    exportDirectory = AddExports(builder, "Sample.dll", 1,
                                 {{"AreYouInFocus", ""},
                                  {"Configure", ""},
                                  {"", ""},
                                  {"HandleKey", ""},
                                  {"Forwarded", "USER32.MessageBoxA"}});
    importDirectory = AddImports(
        builder, {{"USER32.dll", {"FindWindowA", "keybd_event"}}, {"WS2_32.dll", {"#23", "#115"}}});
    builder.SetDirectory(5, builder.Reserve(12), 12);
    bytes = builder.Build();
  }
};

}  // namespace pe_image_builder
