// A minimal Remote Wonder plug-in for plughost's conformance check: compiled as is, it keeps
// the host's contract; each SAMPLE_* definition below breaks exactly one part of it.
//   SAMPLE_CRASH_ON_KEY_7        HandleKey on key 7 writes to address 0x8
//   SAMPLE_HANG_ON_KEY_7         HandleKey on key 7 never returns
//   SAMPLE_STDCALL               every export removes its own arguments
//   SAMPLE_CLOBBER_EBX           HandleKey returns with EBX changed
//   SAMPLE_LEAVE_CTRL_DOWN       HandleKey on key 30 never releases Ctrl
//   SAMPLE_RESULT_2_ON_KEY_1     HandleKey on key 1 returns 2
//   SAMPLE_FAIL_DLL_MAIN         DllMain refuses to attach
//   SAMPLE_CONFIGURE_CRASHES     Configure writes to address 0x8
//   SAMPLE_THROW_ON_KEY_5        HandleKey on key 5 throws a C++ exception out of the plug-in
//   SAMPLE_EXIT_ON_KEY_5         HandleKey on key 5 ends the process with exit code 3
//   SAMPLE_SET_DIRECTION_FLAG    HandleKey returns with the direction flag set
//   SAMPLE_LEAVE_X87_VALUE       HandleKey returns with a value left on the x87 register stack
//   SAMPLE_FAULT_ON_UNLOAD       DllMain writes to address 0x8 when the DLL is unloaded
//   SAMPLE_LATE_KEY_ON_KEY_2     HandleKey on key 2 taps F2 from another thread 300 ms later
//   SAMPLE_SHIFT_AFTER_28_1_2    keys 28 and 2 are handled too, and key 2 right after 28 and 1
//                                leaves Shift down: a fault no single event or pair shows
// Missing and decorated export names come from the .def file, not from here.

#include <windows.h>

#include <cstdint>
#include <stdexcept>

#include "tools/hostkit/morlune_window.h"

#if defined(SAMPLE_STDCALL)
#define SAMPLE_EXPORT __stdcall
#else
#define SAMPLE_EXPORT __cdecl
#endif

namespace {

constexpr std::int32_t WantedKeys = 0x3FF8;

bool TargetPresent() {
  return FindWindowA(hostkit::MorluneWindowClass, nullptr) != nullptr;
}

void Press(BYTE vk) {
  keybd_event(vk, 0, 0, 0);
}
void Release(BYTE vk) {
  keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
}
void Tap(BYTE vk) {
  Press(vk);
  Release(vk);
}

[[maybe_unused]] void WriteToAddress8() {
  // Both volatile: a real store that faults, not a trap instruction or a compile-time warning
  // about a constant address.
  volatile std::uintptr_t address = 0x8;
  *reinterpret_cast<volatile int*>(address) = 1;  // NOLINT(performance-no-int-to-ptr): the fault
}

[[maybe_unused]] DWORD WINAPI TapF2Later(LPVOID module) {
  Sleep(300);
  Tap(VK_F2);
  // The thread holds the DLL loaded while it runs, as a thread of a plug-in must.
  FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

[[maybe_unused]] std::uint16_t previousKeys[2] = {};  // the last two handled, latest first

std::int32_t Handle(std::uint16_t keyCode, std::uint16_t keyState) {
  if (keyState != 1) return 0;
#if defined(SAMPLE_SHIFT_AFTER_28_1_2)
  if (TargetPresent() && (keyCode == 28 || keyCode == 2)) {
    if (keyCode == 2) {
      if (previousKeys[0] == 1 && previousKeys[1] == 28) Press(VK_SHIFT);
      Tap(VK_F7);
    }
    previousKeys[1] = previousKeys[0];
    previousKeys[0] = keyCode;
    return 1;
  }
  if (TargetPresent() && keyCode == 1) {
    previousKeys[1] = previousKeys[0];
    previousKeys[0] = keyCode;
  }
#endif
#if defined(SAMPLE_CRASH_ON_KEY_7)
  if (keyCode == 7) WriteToAddress8();
#elif defined(SAMPLE_HANG_ON_KEY_7)
  if (keyCode == 7) {
    for (;;) Sleep(INFINITE);
  }
#elif defined(SAMPLE_THROW_ON_KEY_5)
  if (keyCode == 5) throw std::runtime_error("no such key");
#elif defined(SAMPLE_EXIT_ON_KEY_5)
  if (keyCode == 5) ExitProcess(3);
#endif
  if (!TargetPresent()) return 0;
  switch (keyCode) {
    case 1:
      Tap(VK_F5);
#if defined(SAMPLE_RESULT_2_ON_KEY_1)
      return 2;
#else
      return 1;
#endif
    case 7:
      Tap(VK_F6);
      return 1;
#if defined(SAMPLE_LATE_KEY_ON_KEY_2)
    case 2: {
      HMODULE self = nullptr;
      GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCSTR>(&TapF2Later), &self);
      if (HANDLE thread = CreateThread(nullptr, 0, &TapF2Later, self, 0, nullptr)) {
        CloseHandle(thread);
      }
      return 1;
    }
#endif
    case 30:
      Press(VK_CONTROL);
      Tap(VK_PRIOR);
#if !defined(SAMPLE_LEAVE_CTRL_DOWN)
      Release(VK_CONTROL);
#endif
      return 1;
    default:
      return 0;
  }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
#if defined(SAMPLE_FAIL_DLL_MAIN)
  if (reason == DLL_PROCESS_ATTACH) return FALSE;
#elif defined(SAMPLE_FAULT_ON_UNLOAD)
  if (reason == DLL_PROCESS_DETACH) WriteToAddress8();
#else
  (void)reason;
#endif
  return TRUE;
}

std::int32_t SAMPLE_EXPORT WhatKeysDoYouWant() {
  return WantedKeys;
}

// Two arguments, so that the stdcall build removes 8 bytes; the correct one reads none.
std::int32_t SAMPLE_EXPORT EnumerateProgrammableFunction(std::int32_t /*index*/, void* /*name*/) {
  return 0;
}

std::int32_t SAMPLE_EXPORT AreYouInFocus() {
  return TargetPresent() ? 1 : 0;
}

// Shows nothing, so that a check can call it without a window to close.
std::int32_t SAMPLE_EXPORT Configure(HWND /*owner*/) {
#if defined(SAMPLE_CONFIGURE_CRASHES)
  WriteToAddress8();
#endif
  return 1;
}

// The faults of the CPU state a callee must restore, done after the real HandleKey returns.
#if defined(SAMPLE_CLOBBER_EBX)
#define SAMPLE_AFTER_HANDLE_KEY "notl %ebx"  // every bit of the caller's EBX differs
#elif defined(SAMPLE_SET_DIRECTION_FLAG)
#define SAMPLE_AFTER_HANDLE_KEY "std"
#elif defined(SAMPLE_LEAVE_X87_VALUE)
#define SAMPLE_AFTER_HANDLE_KEY "fld1"
#endif

#if !defined(SAMPLE_AFTER_HANDLE_KEY)
std::int32_t SAMPLE_EXPORT HandleKey(std::uint32_t /*first*/, std::uint32_t keyCode,
                                     std::uint32_t keyState) {
  return Handle(static_cast<std::uint16_t>(keyCode), static_cast<std::uint16_t>(keyState));
}
#else
std::int32_t __cdecl RealHandleKey(std::uint32_t /*first*/, std::uint32_t keyCode,
                                   std::uint32_t keyState) {
  return Handle(static_cast<std::uint16_t>(keyCode), static_cast<std::uint16_t>(keyState));
}
#endif

}  // extern "C"

#if defined(SAMPLE_AFTER_HANDLE_KEY)
// HandleKey passes its three arguments on, then breaks the state it had to keep.
asm(".text\n"
    ".globl _HandleKey\n"
    "_HandleKey:\n"
    "  pushl 12(%esp)\n"
    "  pushl 12(%esp)\n"
    "  pushl 12(%esp)\n"
    "  call _RealHandleKey\n"
    "  addl $12, %esp\n"
    "  " SAMPLE_AFTER_HANDLE_KEY
    "\n"
    "  ret\n");
#endif
