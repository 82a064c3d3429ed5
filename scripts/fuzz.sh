#!/usr/bin/env bash
# Runs the libFuzzer targets of the native build (build/native/tools/fuzz/fuzz_*).
#
#   scripts/fuzz.sh [SECONDS]                      every target for SECONDS (default 30) from its kept corpus
#                                                  (tools/fuzz/corpus/<target>) and its kept regression inputs
#                                                  (tools/fuzz/regressions/<target>); fails on any finding
#   scripts/fuzz.sh --campaign SECONDS [TARGET...] a long campaign, targets side by side (one per core): each runs
#                                                  for SECONDS, what it found that adds coverage joins its kept
#                                                  corpus, every crash input is kept as a regression input, and
#                                                  build/native/fuzz-campaign/summary.md gets a row per target
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"
shopt -s nullglob

fuzzers=(build/native/tools/fuzz/fuzz_*)
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "no fuzzer was built: build the native flavour with -DQUILLERY_FUZZERS=ON (scripts/test.sh does)" >&2
    exit 1
fi

# The kept inputs of target $1 that a run starts from.
kept_inputs() {
    local dirs=("tools/fuzz/corpus/$1")
    [ -d "tools/fuzz/regressions/$1" ] && dirs+=("tools/fuzz/regressions/$1")
    printf '%s\n' "${dirs[@]}"
}

short_run() {
    local seconds="$1" status=0 fuzzer name work
    for fuzzer in "${fuzzers[@]}"; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        work="build/native/fuzz-work/$name"
        mkdir -p "$work"
        echo "-- $name"
        mapfile -t inputs < <(kept_inputs "$name")
        if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" \
                "$work" "${inputs[@]}" >"$work/log" 2>&1; then
            tail -n 40 "$work/log"
            echo "FAILED: $name (input kept in $work/)"
            status=1
        else
            grep -E '^Done|#[0-9]+ *DONE' "$work/log" | tail -n 1 || true
        fi
    done
    return $status
}

# One target's campaign: $1 the fuzzer, $2 seconds. Runs at low priority so that builds go first.
campaign_target() {
    local fuzzer="$1" seconds="$2" name dir rc=0
    name=$(basename "$fuzzer")
    dir="build/native/fuzz-campaign/$name"
    rm -rf "$dir"
    mkdir -p "$dir/found" "$dir/artifacts"
    mapfile -t inputs < <(kept_inputs "$name")
    local started=$SECONDS
    # Keeps going after a finding, so that one hour finds more than the first crash.
    nice -n 19 "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -fork=1 -ignore_crashes=1 \
        -ignore_timeouts=1 -ignore_ooms=1 -artifact_prefix="$dir/artifacts/" "$dir/found" "${inputs[@]}" \
        >"$dir/log" 2>&1 || rc=$?
    local elapsed=$((SECONDS - started))
    # The processor time the fuzzer and its jobs used (children of this subshell, as `times` counts them): on a
    # shared machine an hour on the clock can be much less than an hour of fuzzing.
    local cpu
    times >"$dir/times" # in this shell, not a pipe's: a subshell would count only its own children
    cpu=$(tail -n 1 "$dir/times" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')

    # Of what it found, only the inputs that add coverage to the kept corpus join it; the named seeds stay.
    "$fuzzer" -merge=1 "tools/fuzz/corpus/$name" "$dir/found" >"$dir/merge.log" 2>&1

    local crashes=("$dir/artifacts"/crash-* "$dir/artifacts"/leak-* "$dir/artifacts"/timeout-* "$dir/artifacts"/oom-*)
    if [ ${#crashes[@]} -gt 0 ]; then
        mkdir -p "tools/fuzz/regressions/$name"
        cp "${crashes[@]}" "tools/fuzz/regressions/$name/"
    fi

    # Executions over all forked jobs, and the coverage the last status line reports.
    local runs cov features
    runs=$(grep -o -E '^#[0-9]+' "$dir/log" | tail -n 1 | tr -d '#')
    cov=$(grep -o -E 'cov: [0-9]+' "$dir/log" | tail -n 1 | grep -o -E '[0-9]+')
    features=$(grep -o -E 'ft: [0-9]+' "$dir/log" | tail -n 1 | grep -o -E '[0-9]+')
    printf '| %s | %d s | %d s | %s | %s edges, %s features | %d inputs | %d |\n' "$name" "$elapsed" "$cpu" "${runs:-0}" \
        "${cov:-?}" "${features:-?}" "$(ls "tools/fuzz/corpus/$name" | wc -l)" "${#crashes[@]}" \
        >"$dir/summary-row"
    [ "$rc" -eq 0 ] && [ ${#crashes[@]} -eq 0 ]
}

campaign() {
    local seconds="$1" status=0
    shift
    local selected=("${fuzzers[@]}")
    if [ $# -gt 0 ]; then
        selected=()
        local target
        for target in "$@"; do selected+=("build/native/tools/fuzz/$target"); done
    fi
    mkdir -p build/native/fuzz-campaign
    local pids=() fuzzer running=0 slots
    slots=$(nproc)
    for fuzzer in "${selected[@]}"; do
        [ -x "$fuzzer" ] || { echo "no such fuzzer: $fuzzer" >&2; return 1; }
        echo "-- $(basename "$fuzzer") for $seconds s"
        campaign_target "$fuzzer" "$seconds" &
        pids+=($!)
        running=$((running + 1))
        if [ "$running" -ge "$slots" ]; then
            wait -n || status=1
            running=$((running - 1))
        fi
    done
    while [ "$running" -gt 0 ]; do
        wait -n || status=1
        running=$((running - 1))
    done
    {
        echo "| Target | Time | Processor time | Executions | Coverage | Corpus kept | Findings |"
        echo "|---|---|---|---|---|---|---|"
        for fuzzer in "${selected[@]}"; do cat "build/native/fuzz-campaign/$(basename "$fuzzer")/summary-row"; done
    } >build/native/fuzz-campaign/summary.md
    cat build/native/fuzz-campaign/summary.md
    return $status
}

if [ "${1:-}" = --campaign ]; then
    shift
    campaign "${1:-3600}" "${@:2}"
else
    short_run "${1:-30}"
fi
