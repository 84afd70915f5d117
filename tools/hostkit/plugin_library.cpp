#include "tools/hostkit/plugin_library.h"

#include <utility>
#include <vector>

#include "tools/pe_image/pe_image.h"
#include "tools/strings/join.h"

namespace hostkit {
namespace {

// Why the host would not find `missing` in the file at `path`: decorated names say more than
// "missing".
std::string MissingExportsText(const std::string& path, const std::vector<std::string>& missing) {
  std::vector<std::string> decorated;
  std::string unreadable;
  if (const auto image = pe_image::ReadPeImage(path, unreadable)) {
    for (const std::string& wanted : missing) {
      if (const auto name = pe_image::FindDecoratedExport(*image, wanted)) {
        decorated.push_back(*name);
      }
    }
  }
  if (!decorated.empty()) {
    return "the DLL " + DecoratedExportsText(decorated);
  }
  return "the DLL does not export " + strings::Join(missing);
}

}  // namespace

std::string DecoratedExportsText(const std::vector<std::string>& decorated) {
  return "exports " + strings::Join(decorated) +
         ": stdcall-decorated names; the host looks them up undecorated";
}

std::string FileName(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

const void* PluginExports::Address(std::size_t index) const {
  const void* addresses[] = {
      reinterpret_cast<const void*>(AreYouInFocus),
      reinterpret_cast<const void*>(Configure),
      reinterpret_cast<const void*>(EnumerateProgrammableFunction),
      reinterpret_cast<const void*>(HandleKey),
      reinterpret_cast<const void*>(WhatKeysDoYouWant),
  };
  return addresses[index];
}

std::optional<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    const DWORD code = GetLastError();
    error = "cannot load " + path + ": " + SystemErrorText(code, path);
    if (code == ERROR_DLL_INIT_FAILED) error += "; its DllMain reported failure";
    return std::nullopt;
  }
  PluginExports exports{};
  FARPROC* slots[] = {
      reinterpret_cast<FARPROC*>(&exports.AreYouInFocus),
      reinterpret_cast<FARPROC*>(&exports.Configure),
      reinterpret_cast<FARPROC*>(&exports.EnumerateProgrammableFunction),
      reinterpret_cast<FARPROC*>(&exports.HandleKey),
      reinterpret_cast<FARPROC*>(&exports.WhatKeysDoYouWant),
  };
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < std::size(PluginExportNames); ++i) {
    *slots[i] = GetProcAddress(module, PluginExportNames[i]);
    if (*slots[i] == nullptr) missing.emplace_back(PluginExportNames[i]);
  }
  if (!missing.empty()) {
    error = MissingExportsText(path, missing);
    FreeLibrary(module);
    return std::nullopt;
  }
  return PluginLibrary(module, exports);
}

PluginLibrary::PluginLibrary(HMODULE module, const PluginExports& exports)
    : module_(module), exports_(exports) {}

PluginLibrary::PluginLibrary(PluginLibrary&& other) noexcept
    : module_(std::exchange(other.module_, nullptr)), exports_(other.exports_) {}

PluginLibrary& PluginLibrary::operator=(PluginLibrary&& other) noexcept {
  if (this != &other) {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = std::exchange(other.module_, nullptr);
    exports_ = other.exports_;
  }
  return *this;
}

PluginLibrary::~PluginLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

std::string SystemErrorText(DWORD code, const std::string& insert) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  const std::string raw = length > 0 ? std::string(buffer, length) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  // Inserts were left as they stand ("Bad EXE format for %1."): the first is the file, if
  // given, the others are dropped.
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '%' && i + 1 < raw.size() && raw[i + 1] >= '1' && raw[i + 1] <= '9') {
      std::size_t end = i + 1;
      while (end < raw.size() && raw[end] >= '0' && raw[end] <= '9') ++end;
      if (raw.compare(i, end - i, "%1") == 0) text += insert;
      i = end - 1;
    } else {
      text += raw[i] == '\r' || raw[i] == '\n' ? ' ' : raw[i];
    }
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  const std::string codeText = "error " + std::to_string(code);
  return text.empty() ? codeText : text + " (" + codeText + ")";
}

}  // namespace hostkit
