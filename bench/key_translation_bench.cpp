// Time per remote-key event of the key translation the DLL ships, for each kind of action,
// beside the floor for the same event. The sink does nothing, so what is left is translation.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/event_kinds.h"

namespace {

void TimeEvents(benchmark::State& state, const bench::EventKind& kind,
                bench::EventFunction function) {
  const keys::KeystrokeSink& sink = bench::SinkFor(kind);
  keys::CtrlDigitState mode = kind.before;
  for (auto _ : state) {
    mode = kind.before;
    keys::HandledFlag handled = function(mode, sink, 0, kind.keyCode, kind.keyState);
    benchmark::DoNotOptimize(handled);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  char error[256];
  if (!bench::CheckEventKinds(error, sizeof error)) {
    std::fprintf(stderr, "key_translation_bench: %s\n", error);
    return 1;
  }
  for (const bench::EventKind& kind : bench::EventKinds) {
    benchmark::RegisterBenchmark((std::string("HandleKey/") + kind.name).c_str(), &TimeEvents, kind,
                                 &keys::HandleKey);
    benchmark::RegisterBenchmark((std::string("Floor/") + kind.name).c_str(), &TimeEvents, kind,
                                 kind.floor);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
