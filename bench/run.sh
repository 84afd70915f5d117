#!/usr/bin/env bash
# Runs every benchmark and prints one Markdown table: native time and instructions per remote
# key event against the floor, HandleKey under Wine against direct Windows calls, load time
# against an empty DLL, and the DLL's size for each toolchain and its imports. Wine runs the
# release's build (clang's).
#
#   bench/run.sh [--no-wine]
#
# Environment: BENCH_WINE_TIMEOUT (seconds for starting Wine and for the Wine run, default 600),
# BENCH_WINE_ARGS (rounds, calls per block and loads for the Wine program, default "21 200 21").
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

wine=yes
[ "${1:-}" = "--no-wine" ] && wine=no
wine_timeout=${BENCH_WINE_TIMEOUT:-600}
wine_args=${BENCH_WINE_ARGS:-21 200 21}

out=$root/build/bench-results
rm -rf "$out"
mkdir -p "$out"

for preset in native win32 win32-clang; do
  cmake --preset "$preset" >/dev/null
done
cmake --build --preset native --target key_translation_bench key_translation_instructions >&2
cmake --build --preset win32-clang --target Morlune EmptyPlugin plugin_overhead_bench >&2
cmake --build --preset win32 --target Morlune EmptyPlugin >&2

native=$root/build/native/bench
echo "native: time per event" >&2
"$native/key_translation_bench" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2 \
  --benchmark_out="$out/native.json" --benchmark_out_format=json >&2

# The count for 2N events minus the count for N is exact: whatever runs once cancels out.
echo "native: instructions per event (callgrind)" >&2
events=100000
for kind in $("$native/key_translation_instructions" --list | cut -d' ' -f1); do
  for way in handlekey floor; do
    for n in $events $((2 * events)); do
      valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*RunEvents*' \
        --callgrind-out-file="$out/callgrind.out" \
        "$native/key_translation_instructions" "$kind" "$way" "$n" 2>"$out/callgrind.log" ||
        { cat "$out/callgrind.log" >&2; exit 1; }
      echo "$kind $way $n $(sed -n 's/^summary: //p' "$out/callgrind.out")" >>"$out/instructions.txt"
    done
  done
done

win32=$root/build/win32-clang/bin
if [ "$wine" = no ]; then
  echo "skipped (--no-wine)" >"$out/wine-reason.txt"
else
  state=$root/build/win32-clang/bench-wine
  trap 'tests/wine/stop-wine.sh "$state" >/dev/null 2>&1' EXIT
  echo "Wine: starting (up to ${wine_timeout}s)" >&2
  if ! timeout --kill-after=10 "$wine_timeout" tests/wine/start-wine.sh "$state" >&2; then
    reason=$(tail -n 1 "$state/wineboot.log" 2>/dev/null || true)
    echo "Wine did not start${reason:+: $reason}" >"$out/wine-reason.txt"
  else
    echo "Wine: running plugin_overhead_bench.exe $wine_args" >&2
    # shellcheck disable=SC2086 # the counts are separate arguments
    if (cd "$win32" && timeout --kill-after=10 "$wine_timeout" \
        "$root/tests/wine/run-under-wine.sh" "$state" plugin_overhead_bench.exe $wine_args) \
        >"$out/wine.txt" 2>"$out/wine.log"; then
      cat "$out/wine.txt" >&2
    else
      echo "the Wine run failed or timed out: $(tail -n 1 "$out/wine.log")" >"$out/wine-reason.txt"
    fi
  fi
  tests/wine/stop-wine.sh "$state" >/dev/null 2>&1 || true
fi

/usr/bin/python3 bench/report.py "$out" "clang, the release=$win32" "GCC=$root/build/win32/bin"
