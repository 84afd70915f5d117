#include "tools/hostkit/guarded_exports.h"

namespace hostkit {
namespace {

template <typename Function>
const void* AddressOf(Function function) {
  return reinterpret_cast<const void*>(function);
}

}  // namespace

GuardedResult GuardedExports::WhatKeysDoYouWant() {
  return guard_.Call("WhatKeysDoYouWant", AddressOf(exports_.WhatKeysDoYouWant), {});
}

GuardedResult GuardedExports::AreYouInFocus() {
  return guard_.Call("AreYouInFocus", AddressOf(exports_.AreYouInFocus), {});
}

GuardedResult GuardedExports::EnumerateProgrammableFunction(
    std::initializer_list<std::uint32_t> arguments) {
  return guard_.Call("EnumerateProgrammableFunction",
                     AddressOf(exports_.EnumerateProgrammableFunction), arguments);
}

GuardedResult GuardedExports::Configure(HWND owner) {
  const auto handle = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(owner));
  return guard_.Call("Configure", AddressOf(exports_.Configure), {handle});
}

GuardedResult GuardedExports::HandleKey(std::uint32_t first, std::uint32_t keyCode,
                                        std::uint32_t keyState) {
  return guard_.Call("HandleKey", AddressOf(exports_.HandleKey), {first, keyCode, keyState});
}

}  // namespace hostkit
