#!/usr/bin/env bash
# Builds every flavour and runs every test: the native tests under the sanitizers, the Windows tests of the 64-bit
# and of the 32-bit build under Wine in one fresh 64-bit prefix made for this run, each fuzzer for a bounded
# time, and a second build of the 64-bit library and doctor that must give the same bytes. Exits non-zero on any
# failure.
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

ensure_packages "${QUILLERY_PACKAGES[@]}"

status=0
passed=0
failed=0

# The number in attribute $2 of the <testsuites> element of GoogleTest's XML report $1 (0 when absent).
report_count() {
    local value
    value=$(grep -o -m 1 "<testsuites [^>]*" "$1" | grep -o " $2=\"[0-9]*\"" | grep -o '[0-9]\+')
    echo "${value:-0}"
}

# Runs one flavour's ctest and adds its test cases to the totals: every program writes a GoogleTest XML report,
# whose cases are counted (a program that ctest runs more than once, once per code page say, writes one report
# per run); a run that failed without reporting a failed case (it crashed, or wrote no report) counts as one
# failed case of its own.
run_ctest() {
    local dir="$1" log="$1/ctest.log" reports="$QUILLERY_ROOT/$1/test-reports" rc=0 output
    rm -rf "$reports"
    mkdir -p "$reports"
    output="$reports/"
    # A Windows program under Wine names the folder by its drive letter: Wine's Z: is the Unix root.
    [ "${2:-}" = wine ] && output="Z:${reports//\//\\}\\"
    GTEST_OUTPUT="xml:$output" ctest --test-dir "$dir" --output-on-failure 2>&1 | tee "$log" || rc=1
    grep -q -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" || { failed=$((failed + 1)); rc=1; }
    local report cases bad
    for report in "$reports"/*.xml; do
        [ -f "$report" ] || continue
        cases=$(report_count "$report" tests)
        bad=$(( $(report_count "$report" failures) + $(report_count "$report" errors) ))
        passed=$((passed + cases - bad - $(report_count "$report" disabled) - $(report_count "$report" skipped)))
        failed=$((failed + bad))
    done
    # Every report with a failed case stands for one failed run; the failed runs beyond those reported nothing.
    local failed_runs reported_runs=0
    failed_runs=$(sed -n '/The following tests FAILED:/,$p' "$log" | grep -c -E '^[[:space:]]+[0-9]+ - [^ ]+' || true)
    for report in "$reports"/*.xml; do
        [ -f "$report" ] || continue
        if [ $(( $(report_count "$report" failures) + $(report_count "$report" errors) )) -gt 0 ]; then
            reported_runs=$((reported_runs + 1))
        fi
    done
    if [ "$failed_runs" -gt "$reported_runs" ]; then failed=$((failed + failed_runs - reported_runs)); fi
    return $rc
}

# A stage's heading, with the time since the command started: where the minutes go.
step() { echo "== $* [$((SECONDS / 60)) min $((SECONDS % 60)) s]"; }

step "native build (ASan, UBSan, libFuzzer)"
build_flavour build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLERY_FUZZERS=ON
step "native tests"
run_ctest build/native || status=1

# The same sources and test programs twice, told apart by nothing but the toolchain: for 64-bit and for 32-bit
# Office. Each build knows where the other's is, for the test that registers both libraries side by side; the
# 32-bit build comes first, since the x64 package carries its library and doctor.
step "Windows builds (MinGW-w64: x86, then x64)"
build_flavour build/windows-x86 -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-i686.cmake" \
    -DQUILLERY_PEER_BIN="$QUILLERY_ROOT/build/windows/bin"
build_flavour build/windows -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DQUILLERY_PEER_BIN="$QUILLERY_ROOT/build/windows-x86/bin"
# Both run in one fresh 64-bit prefix, the 32-bit programs under WOW64 as 32-bit Office runs on 64-bit Windows.
step "Windows tests under Wine (x64, then x86, in one 64-bit prefix)"
PREFIX="$QUILLERY_ROOT/build/windows/wineprefix"
trap 'stop_wine "$PREFIX"' EXIT
make_wineprefix "$PREFIX"
# The locales of the code pages that tests run in besides 1252 (tests/text/CMakeLists.txt): 932, 936, 949, 1256
# and 1255, for each flavour's build.
for flavour in windows windows-x86; do
    for locale in ja_JP zh_CN ko_KR ar_SA he_IL; do make_locale "$QUILLERY_ROOT/build/$flavour/locale" "$locale"; done
done
start_wine
# The fuzzers run meanwhile, on the core that Wine's one test program at a time leaves idle; then the 64-bit
# library and doctor are built a second time, in another folder, and compared with the first build's
# (scripts/reproduce.sh; the packages and the 32-bit files are left to a release's full run of it).
fuzz_log=build/native/fuzz.log
scripts/fuzz.sh "${QUILLERY_FUZZ_SECONDS:-30}" >"$fuzz_log" 2>&1 &
fuzz_pid=$!
reproduce_log=build/reproduce.log
(
    while kill -0 "$fuzz_pid" 2>/dev/null; do sleep 2; done
    exec nice scripts/reproduce.sh x64 Quillery quillery-doctor
) >"$reproduce_log" 2>&1 &
reproduce_pid=$!
registry_snapshot >build/windows/registry-before.txt
run_ctest build/windows wine || status=1
run_ctest build/windows-x86 wine || status=1
# Every test leaves the prefix as it found it, so that the same tests pass again in the same prefix.
registry_snapshot >build/windows/registry-after.txt
if ! diff build/windows/registry-before.txt build/windows/registry-after.txt >build/windows/registry.diff; then
    echo "FAILED: the Windows tests left the registry changed:"
    head -n 40 build/windows/registry.diff
    failed=$((failed + 1))
    status=1
fi
stop_wine "$PREFIX"

step "fuzzers (${QUILLERY_FUZZ_SECONDS:-30} s each, run beside the Windows tests)"
wait "$fuzz_pid" || status=1
cat "$fuzz_log"
# Each fuzzer's run is one case: it passed when it reported its runs.
fuzz_ran=$(grep -c '^-- ' "$fuzz_log" || true)
fuzz_failed=$(grep -c '^FAILED: ' "$fuzz_log" || true)
passed=$((passed + fuzz_ran - fuzz_failed))
failed=$((failed + fuzz_failed))
[ "$fuzz_ran" -gt 0 ] || failed=$((failed + 1))

step "the 64-bit library and doctor rebuilt in a second folder (run beside the Windows tests)"
# One case: every rebuilt file is the first build's, byte for byte, before signing.
if wait "$reproduce_pid"; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
cat "$reproduce_log"

# Every GoogleTest case of every flavour (both Windows builds), each fuzzer's run and the reproduction.
echo
step "done"
echo "Total: $passed passed, $failed failed"
exit $status
