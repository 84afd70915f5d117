// Morlune.dll's HandleKey against the Windows calls it must make, made directly: one
// FindWindowA per event and the same keybd_event calls. Both run in one process, in alternating
// blocks, and the medians are compared. Also LoadLibrary plus the first call against an empty
// DLL built the same way.
//
//   plugin_overhead_bench.exe [rounds] [events per block] [loads]
//
// Prints one "result" line per measure: name, Morlune, the direct calls or empty DLL, unit.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/hostkit/stand_in_window.h"

namespace {

using HandleKeyFunction = std::int32_t(__cdecl*)(std::uint32_t, std::uint32_t, std::uint32_t);
using NoArguments = std::int32_t(__cdecl*)();

constexpr BYTE VkControl = 0x11;
constexpr BYTE VkNext = 0x22;
constexpr BYTE VkNumpad4 = 0x64;
constexpr BYTE VkF6 = 0x75;

double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The injected keys end up in this thread's queue; emptied between blocks, outside the timing.
void Pump(hostkit::StandInWindow& window) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  window.ClearReceived();
}

bool TargetPresent() {
  return FindWindowA(hostkit::MorluneWindowClass, nullptr) != nullptr;
}

void Tap(BYTE vk) {
  keybd_event(vk, 0, 0, 0);
  keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
}

void Chord(BYTE modifier, BYTE vk) {
  keybd_event(modifier, 0, 0, 0);
  Tap(vk);
  keybd_event(modifier, 0, KEYEVENTF_KEYUP, 0);
}

// One unit of work each way; the Ctrl-digit unit is the mode key and the three digits it
// covers, after which the mode is off again and the next unit starts alike.
struct Workload {
  const char* name;
  const char* unit;
  void (*plugin)(HandleKeyFunction handleKey);
  void (*direct)();
};

const Workload Workloads[] = {
    {"Tap (key 23)", "event", [](HandleKeyFunction handleKey) { handleKey(0, 23, 1); },
     [] {
       if (TargetPresent()) Tap(VkF6);
     }},
    {"Chord (key 31)", "event", [](HandleKeyFunction handleKey) { handleKey(0, 31, 1); },
     [] {
       if (TargetPresent()) Chord(VkControl, VkNext);
     }},
    {"Ctrl digits (key 28, then key 4 three times)", "4 events",
     [](HandleKeyFunction handleKey) {
       handleKey(0, 28, 1);
       for (int i = 0; i < 3; ++i) handleKey(0, 4, 1);
     },
     [] {
       if (!TargetPresent()) return;
       for (int i = 0; i < 3; ++i) {
         if (TargetPresent()) Chord(VkControl, VkNumpad4);
       }
     }},
};

struct Pair {
  double plugin;
  double direct;
};

Pair TimeWorkload(const Workload& workload, HandleKeyFunction handleKey,
                  hostkit::StandInWindow& window, int rounds, int units) {
  std::vector<double> plugin;
  std::vector<double> direct;
  auto timePlugin = [&] {
    const double start = Seconds();
    for (int i = 0; i < units; ++i) workload.plugin(handleKey);
    plugin.push_back((Seconds() - start) / units);
    Pump(window);
  };
  auto timeDirect = [&] {
    const double start = Seconds();
    for (int i = 0; i < units; ++i) workload.direct();
    direct.push_back((Seconds() - start) / units);
    Pump(window);
  };
  for (int round = 0; round < rounds; ++round) {
    // A B, then B A: neither side always runs first.
    if (round % 2 == 0) {
      timePlugin();
      timeDirect();
    } else {
      timeDirect();
      timePlugin();
    }
  }
  return {Median(plugin), Median(direct)};
}

// LoadLibrary and the first call of WhatKeysDoYouWant; the library is freed again untimed.
bool TimeLoad(const char* path, std::vector<double>& times) {
  const double start = Seconds();
  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) return false;
  auto first = reinterpret_cast<NoArguments>(
      reinterpret_cast<void*>(GetProcAddress(module, "WhatKeysDoYouWant")));
  if (first == nullptr) return false;
  volatile std::int32_t answer = first();
  (void)answer;
  times.push_back(Seconds() - start);
  FreeLibrary(module);
  return GetModuleHandleA(path) == nullptr;  // really unloaded: the next load is a whole one
}

void PrintResult(const char* name, double plugin, double direct, const char* unit) {
  std::printf("result\t%s\t%.3f\t%.3f\t%s\n", name, plugin, direct, unit);
}

int Fail(const char* what) {
  std::fprintf(stderr, "plugin_overhead_bench: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
  const int units = argc > 2 ? std::atoi(argv[2]) : 200;
  const int loads = argc > 3 ? std::atoi(argv[3]) : 21;
  if (rounds < 1 || units < 1 || loads < 1) return Fail("counts must be positive");

  std::vector<double> morluneLoads;
  std::vector<double> emptyLoads;
  for (int i = 0; i < loads; ++i) {
    // Alternating, like the calls.
    if (!TimeLoad("Morlune.dll", morluneLoads)) return Fail("cannot load and unload Morlune.dll");
    if (!TimeLoad("EmptyPlugin.dll", emptyLoads)) {
      return Fail("cannot load and unload EmptyPlugin.dll");
    }
  }

  HMODULE morlune = LoadLibraryA("Morlune.dll");
  if (morlune == nullptr) return Fail("cannot load Morlune.dll");
  auto handleKey = reinterpret_cast<HandleKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(morlune, "HandleKey")));
  if (handleKey == nullptr) return Fail("Morlune.dll does not export HandleKey");
  if (TargetPresent()) return Fail("a window of Morlune's class is already open");
  if (handleKey(0, 23, 1) != 0) return Fail("HandleKey acted with no target window");

  hostkit::StandInWindow window;
  if (!window.valid()) return Fail("cannot create the stand-in window");
  window.BringToFront();
  Pump(window);
  // What is timed below must be the plug-in acting, not declining.
  if (handleKey(0, 23, 1) != 1 || handleKey(0, 31, 1) != 1) {
    return Fail("HandleKey does not act with the target window open");
  }
  Pump(window);

  for (const Workload& workload : Workloads) {
    const Pair pair = TimeWorkload(workload, handleKey, window, rounds, units);
    std::printf("%-45s Morlune %9.3f us, direct %9.3f us per %s, ratio %.3f\n", workload.name,
                pair.plugin * 1e6, pair.direct * 1e6, workload.unit, pair.plugin / pair.direct);
    PrintResult(workload.name, pair.plugin * 1e6, pair.direct * 1e6,
                (std::string("us per ") + workload.unit).c_str());
  }
  const double morluneLoad = Median(morluneLoads);
  const double emptyLoad = Median(emptyLoads);
  std::printf("%-45s Morlune %9.3f us, empty DLL %9.3f us\n", "LoadLibrary + first call",
              morluneLoad * 1e6, emptyLoad * 1e6);
  PrintResult("LoadLibrary + first call", morluneLoad * 1e6, emptyLoad * 1e6, "us");
  FreeLibrary(morlune);
  return 0;
}
