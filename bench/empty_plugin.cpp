// The smallest DLL built the way Morlune.dll is: no C runtime, its own entry point, one cdecl
// export, and the same three USER32 imports for the loader to bind. Loading it is the part of
// Morlune's load time that any plug-in making those calls pays.

#include <windows.h>

#include <cstdint>

namespace {

// No loader passes this reason: the calls below are never made, they only need importing.
constexpr unsigned long NeverPassedReason = 0xFFFFFFFF;

}  // namespace

extern "C" int __stdcall DllMainCRTStartup(void* /*module*/, unsigned long reason,
                                           void* /*reserved*/) {
  if (reason == NeverPassedReason) {
    keybd_event(0, 0, 0, 0);
    MessageBoxA(FindWindowA(nullptr, nullptr), nullptr, nullptr, MB_OK);
  }
  return 1;
}

extern "C" std::int32_t __cdecl WhatKeysDoYouWant() {
  return 0;
}
