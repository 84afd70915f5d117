#include "tools/hostkit/plugin_library.h"

#include <utility>

namespace hostkit {
namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function, std::string& error) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    error = std::string("the DLL does not export ") + name;
    return false;
  }
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

std::optional<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = "cannot load " + path + ": " + SystemErrorText(GetLastError());
    return std::nullopt;
  }
  PluginExports exports{};
  if (!Resolve(module, "AreYouInFocus", exports.AreYouInFocus, error) ||
      !Resolve(module, "Configure", exports.Configure, error) ||
      !Resolve(module, "EnumerateProgrammableFunction", exports.EnumerateProgrammableFunction,
               error) ||
      !Resolve(module, "HandleKey", exports.HandleKey, error) ||
      !Resolve(module, "WhatKeysDoYouWant", exports.WhatKeysDoYouWant, error)) {
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

std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? std::string(buffer, length) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const std::string codeText = "error " + std::to_string(code);
  return text.empty() ? codeText : text + " (" + codeText + ")";
}

}  // namespace hostkit
