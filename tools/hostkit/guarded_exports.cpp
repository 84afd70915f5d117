#include "tools/hostkit/guarded_exports.h"

namespace hostkit {

GuardedExports::GuardedExports(CallGuard& guard, const PluginExports& exports)
    : call_([&guard, &exports](std::size_t index, std::initializer_list<std::uint32_t> arguments) {
        return guard.Call(PluginExportNames[index], exports.Address(index), arguments);
      }) {}

GuardedResult GuardedExports::WhatKeysDoYouWant() {
  return call_(ExportIndex::WhatKeysDoYouWant, {});
}

GuardedResult GuardedExports::AreYouInFocus() {
  return call_(ExportIndex::AreYouInFocus, {});
}

GuardedResult GuardedExports::EnumerateProgrammableFunction(
    std::initializer_list<std::uint32_t> arguments) {
  return call_(ExportIndex::EnumerateProgrammableFunction, arguments);
}

GuardedResult GuardedExports::Configure(HWND owner) {
  const auto handle = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(owner));
  return call_(ExportIndex::Configure, {handle});
}

GuardedResult GuardedExports::HandleKey(std::uint32_t first, std::uint32_t keyCode,
                                        std::uint32_t keyState) {
  return call_(ExportIndex::HandleKey, {first, keyCode, keyState});
}

}  // namespace hostkit
