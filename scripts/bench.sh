#!/usr/bin/env bash
# Builds the benchmarks optimised and without sanitizers in a build folder of their own, and runs them: the text
# benchmarks (native, Google Benchmark; extra arguments go to that program, for instance
# --benchmark_repetitions=5), then the add-in's start-up against the null add-in under Wine, 64-bit and 32-bit,
# in a prefix of its own (QUILLERY_STARTUP_RUNS warm runs per host and add-in, 200 unless set).
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"
ensure_packages "${QUILLERY_PACKAGES[@]}"
dir="${QUILLERY_BENCH_DIR:-build/bench}"
cmake -S "$QUILLERY_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLERY_SANITIZE=OFF \
    -DQUILLERY_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j 2 --target bench_text
"$dir/tools/bench/bench_text" "$@"

# The start-up benchmark of each bitness: the 64-bit add-in in the 64-bit simulator against the 64-bit null
# add-in, and the 32-bit ones as 32-bit Office runs them on 64-bit Windows.
windows="${QUILLERY_BENCH_WINDOWS_DIR:-build/bench-windows}"
windows32="${QUILLERY_BENCH_WINDOWS_X86_DIR:-build/bench-windows-x86}"
for build in "$windows:x86_64" "$windows32:i686"; do
    cmake -S "$QUILLERY_ROOT" -B "${build%%:*}" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-${build##*:}.cmake" >/dev/null
    cmake --build "${build%%:*}" -j 2 --target quillery-startup-bench
done
prefix="$QUILLERY_ROOT/$windows/wineprefix"
trap 'stop_wine "$prefix"' EXIT
make_wineprefix "$prefix"
# The Wine server and the benchmark share one processor: every registry, file and spooler call is a round trip
# to the server, and across two processors its time swings with the scheduler by a factor of five.
taskset -c 0 wineserver -p"${QUILLERY_WINESERVER_LINGER:-60}"
for dir in "$windows" "$windows32"; do
    echo
    taskset -c 0 wine "$dir/bin/quillery-startup-bench.exe" "${QUILLERY_STARTUP_RUNS:-200}" | tr -d '\r'
done
