// The DLL's own entry point, in place of a C runtime's: there is nothing to set up, so every
// notification succeeds. The i686 linker looks for the stdcall name _DllMainCRTStartup@12.

extern "C" int __stdcall DllMainCRTStartup(void* /*module*/, unsigned long /*reason*/,
                                           void* /*reserved*/) {
  return 1;
}
