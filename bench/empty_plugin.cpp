// The smallest DLL built the way Morlune.dll is: no C runtime, its own entry point, one cdecl
// export. Loading it is the part of Morlune's load time that any plug-in pays.

#include <cstdint>

extern "C" int __stdcall DllMainCRTStartup(void* /*module*/, unsigned long /*reason*/,
                                           void* /*reserved*/) {
  return 1;
}

extern "C" std::int32_t __cdecl WhatKeysDoYouWant() {
  return 0;
}
