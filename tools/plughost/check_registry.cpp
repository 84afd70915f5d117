#include "tools/plughost/check_registry.h"

#include "tools/plughost/check_file.h"
#include "tools/plughost/event_sequences.h"
#include "tools/plughost/handle_key_sweep.h"
#include "tools/plughost/plugin_checks.h"

namespace plughost {

std::span<const CheckEntry> CheckRegistry() {
  static constexpr CheckEntry Entries[] = {
      {"file", "a 32-bit (i386) Windows DLL; FAIL for anything else", Needs::Nothing,
       &CheckFileKind},
      {"imports", "the DLLs and functions it imports, as a note", Needs::Dll, &CheckImports},
      {"ASLR and DEP",
       "the dynamic-base flag with relocations, the NX-compatible flag; WARN if absent", Needs::Dll,
       &CheckHardening},
      {"exports",
       "the five exports by their undecorated names; FAIL naming those missing, or the "
       "decorated names (HandleKey@12) found in their place",
       Needs::Dll, &CheckExports},
      {"load",
       "loading and unloading it runs its DllMain; FAIL with the system's reason, or naming an "
       "exception raised in it, even one the system's loader hid",
       Needs::Loading, &CheckLoad},
      {"cdecl",
       "every export called with several argument values: arguments left to the caller; EBX, "
       "ESI, EDI, EBP, the direction flag, the x87 stack and control word, MXCSR and the "
       "handler chain kept",
       Needs::Loaded, &CheckCallingConvention},
      {"WhatKeysDoYouWant", "the same answer on every call", Needs::Loaded, &CheckWantedKeys},
      {"programmable functions",
       "EnumerateProgrammableFunction gives the same answer on every call, pointers to zeroed "
       "buffers among its arguments",
       Needs::Loaded, &CheckProgrammableFunctions},
      {"HandleKey, target open",
       "every key code in states 1 and 2, and a spread of other states, upper halves and first "
       "arguments, with a window of the target class: results only 0 or 1, no key left down; "
       "keys sent while returning 0, or after a call returned, a WARN",
       Needs::Loaded, &CheckHandleKeyWithTarget},
      {"HandleKey, no target", "the same calls with no window of the target class", Needs::Loaded,
       &CheckHandleKeyWithoutTarget},
      {"event sequences",
       "every ordered pair of the events it acts on, then seeded random series of them with "
       "other events mixed in, each from a fresh load: the same rules after every call, the "
       "same keys from two loads; a failure shrunk to the shortest series",
       Needs::Loaded, &CheckEventSequences},
      {"AreYouInFocus",
       "0 or 1; WARN if it does not follow the target's presence (what \"in focus\" means is "
       "the plug-in's own)",
       Needs::Loaded, &CheckFocus},
      {"Configure",
       "it returns, shows at most one window (plughost closes it) and HandleKey behaves the same "
       "after it; WARN otherwise",
       Needs::Loaded, &CheckConfigure},
      {"reload",
       "100 unloads and loads: no fault or exception, and handles and private memory do not "
       "keep growing (WARN)",
       Needs::Loaded, &CheckReload},
  };
  return Entries;
}

}  // namespace plughost
