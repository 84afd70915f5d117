// The PE reader over small images built here: what it reports of a good DLL, and what it says
// of damaged ones.

#include "tools/pe_image/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/native/pe_image_builder.h"

namespace {

using pe_image::FindDecoratedExport;
using pe_image::ParsePeImage;
using pe_image_builder::AddExports;
using pe_image_builder::AddImports;
using pe_image_builder::FileHeader;
using pe_image_builder::HeadersSize;
using pe_image_builder::ImageBuilder;
using pe_image_builder::OptionalHeader;
using pe_image_builder::PeOffset;
using pe_image_builder::SampleDll;
using pe_image_builder::SectionRva;

TEST(PeImage, ReadsHeadersExportsAndImportsOfADll) {
  const SampleDll dll;
  std::string error;
  const auto image = ParsePeImage(dll.bytes, error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->machine, pe_image::MachineI386);
  EXPECT_TRUE(image->isDll);
  EXPECT_TRUE(image->isPe32);
  EXPECT_EQ(image->dllCharacteristics, 0x0540);
  EXPECT_TRUE(image->dynamicBase);
  EXPECT_TRUE(image->nxCompat);
  EXPECT_TRUE(image->noSeh);
  EXPECT_TRUE(image->hasRelocations);

  EXPECT_EQ(image->exportModuleName, "Sample.dll");
  EXPECT_EQ(image->exportOrdinalBase, 1u);
  EXPECT_EQ(image->exportFunctionCount, 5u);
  ASSERT_EQ(image->exports.size(), 5u);
  const std::vector<std::tuple<std::uint32_t, std::string, bool, std::string>> expected = {
      {1, "AreYouInFocus", false, ""},
      {2, "Configure", false, ""},
      {3, "", false, ""},
      {4, "HandleKey", false, ""},
      {5, "Forwarded", true, "USER32.MessageBoxA"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& function = image->exports[i];
    EXPECT_EQ(std::tie(function.ordinal, function.name, function.forwarded, function.forwarder),
              expected[i]);
  }

  ASSERT_EQ(image->imports.size(), 2u);
  EXPECT_EQ(image->imports[0].name, "USER32.dll");
  EXPECT_EQ(image->imports[0].functions, (std::vector<std::string>{"FindWindowA", "keybd_event"}));
  EXPECT_EQ(image->imports[1].name, "WS2_32.dll");
  EXPECT_EQ(image->imports[1].functions, (std::vector<std::string>{"#23", "#115"}));
}

TEST(PeImage, FlagsComeFromTheirOwnBits) {
  struct Case {
    std::uint16_t characteristics, dllCharacteristics;
    bool relocationDirectory;
    bool isDll, dynamicBase, nxCompat, noSeh, hasRelocations;
  };
  for (const Case& c : {
           Case{0x0102, 0x0000, true, false, false, false, false, true},  // an EXE
           Case{0x2103, 0x0040, true, true, true, false, false, false},   // relocations stripped
           Case{0x2102, 0x0100, false, true, false, true, false, false},  // no relocations
           Case{0x2102, 0x0400, true, true, false, false, true, true},
       }) {
    ImageBuilder builder;
    builder.characteristics = c.characteristics;
    builder.dllCharacteristics = c.dllCharacteristics;
    if (c.relocationDirectory) builder.SetDirectory(5, builder.Reserve(12), 12);
    std::string error;
    const auto image = ParsePeImage(builder.Build(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(std::tie(image->isDll, image->dynamicBase, image->nxCompat, image->noSeh,
                       image->hasRelocations),
              std::tie(c.isDll, c.dynamicBase, c.nxCompat, c.noSeh, c.hasRelocations))
        << std::hex << c.characteristics << " " << c.dllCharacteristics;
  }
}

TEST(PeImage, ReadsPe32PlusHeadersAndImports) {
  ImageBuilder builder;
  builder.machine = pe_image::MachineAmd64;
  builder.magic = 0x20B;
  AddImports(builder, {{"KERNEL32.dll", {"ExitProcess", "#7"}}});
  std::string error;
  const auto image = ParsePeImage(builder.Build(), error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->machine, pe_image::MachineAmd64);
  EXPECT_FALSE(image->isPe32);
  ASSERT_EQ(image->imports.size(), 1u);
  EXPECT_EQ(image->imports[0].functions, (std::vector<std::string>{"ExitProcess", "#7"}));
}

TEST(PeImage, FindsDecoratedFormsOfAName) {
  ImageBuilder builder;
  AddExports(builder, "Decorated.dll", 1,
             {{"_HandleKey@12", ""},
              {"Configure@4", ""},
              {"_AreYouInFocus", ""},
              {"WhatKeysDoYouWant", ""},
              {"EnumerateProgrammableFunctionEx", ""},
              {"Enumerate@", ""},
              {"Enum@4x", ""}});
  std::string error;
  const auto image = ParsePeImage(builder.Build(), error);
  ASSERT_TRUE(image) << error;
  struct Case {
    const char* wanted;
    std::optional<std::string> found;
  };
  for (const Case& c : {Case{"HandleKey", "_HandleKey@12"}, Case{"Configure", "Configure@4"},
                        Case{"AreYouInFocus", "_AreYouInFocus"},
                        Case{"WhatKeysDoYouWant", std::nullopt},  // undecorated: not a decoration
                        Case{"EnumerateProgrammableFunction", std::nullopt},
                        Case{"Enumerate", std::nullopt}, Case{"Enum", std::nullopt}}) {
    EXPECT_EQ(FindDecoratedExport(*image, c.wanted), c.found) << c.wanted;
  }
}

TEST(PeImage, RejectsDamagedFilesSayingWhatIsWrong) {
  const SampleDll dll;
  const auto put32 = [](std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
      bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const auto get32 = [](const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{bytes.at(offset + i)} << (8 * i);
    return value;
  };
  const auto fileOffset = [](std::uint32_t rva) { return rva - SectionRva + HeadersSize; };
  const std::uint32_t directories = OptionalHeader + 96;
  const std::uint32_t exports = fileOffset(dll.exportDirectory);
  const std::uint32_t imports = fileOffset(dll.importDirectory);
  struct Case {
    const char* damage;
    std::function<void(std::vector<std::uint8_t>&)> apply;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"empty", [](auto& b) { b.clear(); }, "not a PE file: no MZ header"},
      {"text", [](auto& b) { b.assign(100, 'x'); }, "not a PE file: no MZ header"},
      {"cut in the DOS header", [](auto& b) { b.resize(40); }, "not a PE file: no MZ header"},
      {"PE offset past the end", [&](auto& b) { put32(b, 0x3C, 0xFFFFFFF0); },
       "no PE signature at offset 0xFFFFFFF0"},
      {"no PE signature", [](auto& b) { b[PeOffset] = 'X'; }, "no PE signature at offset 0x40"},
      {"cut in the COFF header", [](auto& b) { b.resize(FileHeader + 10); },
       "truncated COFF file header"},
      {"cut in the optional header", [](auto& b) { b.resize(OptionalHeader + 50); },
       "truncated optional header"},
      {"unknown magic", [](auto& b) { b[OptionalHeader] = 0x99; },
       "unknown optional header magic 0x199"},
      {"small optional header", [](auto& b) { b[FileHeader + 16] = 90; },
       "optional header of 90 bytes is too small"},
      {"too many sections", [](auto& b) { b[FileHeader + 2] = 200; },
       "200 sections: more than the 96 this reader takes"},
      {"cut in the section table", [](auto& b) { b.resize(OptionalHeader + 224 + 30); },
       "truncated section table"},
      {"export directory outside", [&](auto& b) { put32(b, directories, 0x9000); },
       "export directory at RVA 0x9000 is truncated"},
      {"export counts beyond ordinals", [&](auto& b) { put32(b, exports + 20, 0x20000); },
       "more than 16-bit ordinals can number"},
      {"ordinals past 65535", [&](auto& b) { put32(b, exports + 16, 0xFFFF); },
       "export ordinals from 65535 for 5 functions exceed 65535"},
      {"names past the section", [&](auto& b) { put32(b, exports + 24, 0x10000); },
       "export name table at RVA"},
      {"export name outside",
       [&](auto& b) { put32(b, fileOffset(get32(b, exports + 32)), 0x7000); },
       "export name at RVA 0x7000 is outside the file"},
      {"file cut in the last name", [](auto& b) { b.resize(b.size() - 18); },
       "runs past the end of its section"},
      {"import directory outside", [&](auto& b) { put32(b, directories + 8, 0x8000); },
       "import descriptor at RVA 0x8000 is truncated"},
      {"import thunks without end",
       [&](auto& b) { put32(b, imports, SectionRva + b.size() - HeadersSize - 2); },
       "imports from USER32.dll at RVA"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = dll.bytes;
    c.apply(bytes);
    std::string error;
    EXPECT_FALSE(ParsePeImage(bytes, error)) << c.damage << ": accepted";
    EXPECT_NE(error.find(c.error), std::string::npos) << c.damage << ": " << error;
  }
}

TEST(PeImage, ReadsFilesAndSaysWhichOneIsMissing) {
  const SampleDll dll;
  const std::string path = ::testing::TempDir() + "pe_image_test.dll";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(dll.bytes.data()),
             static_cast<std::streamsize>(dll.bytes.size()));
  std::string error;
  const auto image = pe_image::ReadPeImage(path, error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->exports.size(), 5u);
  std::remove(path.c_str());
  EXPECT_FALSE(pe_image::ReadPeImage(path, error));
  EXPECT_EQ(error, "cannot open " + path);
}

}  // namespace
