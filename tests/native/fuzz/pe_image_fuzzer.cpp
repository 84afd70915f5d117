// Feeds arbitrary bytes to the PE reader: under the sanitizers any out-of-bounds read, overflow
// or leak is a finding; beyond that, what it reports of an accepted file must hang together.
// Random bytes rarely get past the signatures, so an input whose first byte is odd is instead
// XORed over a well-formed DLL, reaching the export and import tables.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/native/pe_image_builder.h"
#include "tools/pe_image/pe_image.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

std::vector<std::uint8_t> Damaged(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::uint8_t> sample = pe_image_builder::SampleDll().bytes;
  // Bit 1 of the first byte keeps the sample's length; otherwise the input's length is taken.
  std::vector<std::uint8_t> bytes = sample;
  bytes.resize((data[0] & 2) != 0 ? sample.size() : size - 1);
  for (std::size_t i = 1; i < size && i - 1 < bytes.size(); ++i) bytes[i - 1] ^= data[i];
  return bytes;
}

void CheckAccepted(const pe_image::PeImage& image) {
  std::uint32_t previous = 0;
  for (const pe_image::ExportedFunction& function : image.exports) {
    Require(function.ordinal >= image.exportOrdinalBase);
    Require(function.ordinal - image.exportOrdinalBase < image.exportFunctionCount);
    Require(function.ordinal >= previous);
    Require(function.forwarded || function.forwarder.empty());
    previous = function.ordinal;
  }
  for (const char* wanted : {"HandleKey", "Configure"}) {
    const auto decorated = pe_image::FindDecoratedExport(image, wanted);
    Require(!decorated || std::any_of(image.exports.begin(), image.exports.end(),
                                      [&](const auto& f) { return f.name == *decorated; }));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size > 0 && (data[0] & 1) != 0) bytes = Damaged(data, size);
  std::string error;
  const auto image = pe_image::ParsePeImage(bytes, error);
  if (image) {
    CheckAccepted(*image);
  } else {
    Require(!error.empty());
  }
  return 0;
}
