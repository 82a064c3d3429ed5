#!/usr/bin/env bash
# Builds the benchmarks optimised and without sanitizers in a build folder of their own, and runs them. Extra
# arguments go to the benchmark program (for instance --benchmark_repetitions=5).
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"
ensure_packages "${QUILLERY_PACKAGES[@]}"
dir="${QUILLERY_BENCH_DIR:-build/bench}"
cmake -S "$QUILLERY_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLERY_SANITIZE=OFF \
    -DQUILLERY_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j 2 --target bench_text
"$dir/tools/bench/bench_text" "$@"
