// Runs one kind of remote-key event a given number of times through HandleKey or its floor, for
// counting instructions under callgrind:
//
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*RunEvents*' \
//       key_translation_instructions Tap handlekey 100000
//
// Only RunEvents is counted; the count for 2N events minus the count for N, divided by N, is
// exact. "all" instead of a kind runs every kind both ways, as a quick check without valgrind.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/event_kinds.h"

namespace bench {

// Out of line and with external linkage, so callgrind finds it by name.
[[gnu::noinline]] keys::HandledFlag RunEvents(const EventKind& kind, EventFunction function,
                                              long events) {
  const keys::KeystrokeSink& sink = SinkFor(kind);
  keys::CtrlDigitState mode = kind.before;
  keys::HandledFlag handled = 0;
  for (long i = 0; i < events; ++i) {
    mode = kind.before;
    handled += function(mode, sink, 0, kind.keyCode, kind.keyState);
  }
  return handled;
}

}  // namespace bench

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: key_translation_instructions <kind|all> <handlekey|floor> <events>\n"
               "       key_translation_instructions --list\n");
  return 2;
}

bool Run(const bench::EventKind& kind, bool floor, long events) {
  const keys::HandledFlag handled =
      bench::RunEvents(kind, floor ? kind.floor : &keys::HandleKey, events);
  if (handled != kind.handled * events) {
    std::fprintf(stderr, "%s %s: %ld events handled, expected %ld\n", kind.name,
                 floor ? "floor" : "handlekey", static_cast<long>(handled),
                 static_cast<long>(kind.handled * events));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (const bench::EventKind& kind : bench::EventKinds) {
      std::printf("%s %u %u\n", kind.name, static_cast<unsigned>(kind.keyCode),
                  static_cast<unsigned>(kind.keyState));
    }
    return 0;
  }
  if (argc != 4) return Usage();
  const bool floor = std::strcmp(argv[2], "floor") == 0;
  if (!floor && std::strcmp(argv[2], "handlekey") != 0) return Usage();
  char* end = nullptr;
  const long events = std::strtol(argv[3], &end, 10);
  if (*end != '\0' || events < 0) return Usage();

  char error[256];
  if (!bench::CheckEventKinds(error, sizeof error)) {
    std::fprintf(stderr, "key_translation_instructions: %s\n", error);
    return 1;
  }
  bool ran = false;
  bool ok = true;
  for (const bench::EventKind& kind : bench::EventKinds) {
    if (std::strcmp(argv[1], "all") == 0) {
      ok = Run(kind, false, events) && Run(kind, true, events) && ok;
      ran = true;
    } else if (std::strcmp(argv[1], kind.name) == 0) {
      ok = Run(kind, floor, events);
      ran = true;
    }
  }
  if (!ran) {
    std::fprintf(stderr, "no event kind named %s (see --list)\n", argv[1]);
    return 2;
  }
  return ok ? 0 : 1;
}
