// A plug-in that lacks HandleKey, for plughost's error handling.

#include <cstdint>

extern "C" {
std::int32_t __cdecl AreYouInFocus() {
  return 0;
}
std::int32_t __cdecl Configure(void* /*owner*/) {
  return 1;
}
std::int32_t __cdecl EnumerateProgrammableFunction() {
  return 0;
}
std::int32_t __cdecl WhatKeysDoYouWant() {
  return 0;
}
}
