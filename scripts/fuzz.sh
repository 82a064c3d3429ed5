#!/usr/bin/env bash
# Runs every libFuzzer target of the native build for $1 seconds (default 30), starting from the seed corpus in
# tools/fuzz/corpus/<target>. Fails on any crash or sanitizer report. A longer run: scripts/fuzz.sh 3600
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"
seconds="${1:-30}"
status=0
ran=0
shopt -s nullglob
for fuzzer in build/native/tools/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    ran=$((ran + 1))
    name=$(basename "$fuzzer")
    work="build/native/fuzz-work/$name"
    mkdir -p "$work"
    echo "-- $name"
    if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" \
            "$work" "tools/fuzz/corpus/$name" >"$work/log" 2>&1; then
        tail -n 40 "$work/log"
        echo "FAILED: $name (input kept in $work/)"
        status=1
    else
        grep -E '^Done|#[0-9]+ *DONE' "$work/log" | tail -n 1 || true
    fi
done
if [ "$ran" -eq 0 ]; then
    echo "no fuzzer was built: build the native flavour with -DQUILLERY_FUZZERS=ON (scripts/test.sh does)" >&2
    exit 1
fi
exit $status
