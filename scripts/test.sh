#!/usr/bin/env bash
# Builds both flavours and runs every test: the native tests under the sanitizers, the Windows tests under Wine in
# a fresh prefix made for this run, and each fuzzer for a bounded time. Exits non-zero on any failure.
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

ensure_packages "${QUILLERY_PACKAGES[@]}"

status=0
passed=0
failed=0

# Runs one flavour's ctest and adds its test programs to the totals.
run_ctest() {
    local dir="$1" log="$1/ctest.log" rc=0
    ctest --test-dir "$dir" --output-on-failure 2>&1 | tee "$log" || rc=1
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + ${total:-0} - ${bad:-0}))
    failed=$((failed + ${bad:-0}))
    [ -n "$line" ] || { failed=$((failed + 1)); rc=1; }
    return $rc
}

echo "== native build (ASan, UBSan, libFuzzer)"
build_flavour build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLERY_FUZZERS=ON
echo "== native tests"
run_ctest build/native || status=1

echo "== Windows build (MinGW-w64)"
build_flavour build/windows -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-x86_64.cmake"
echo "== Windows tests under Wine"
PREFIX="$QUILLERY_ROOT/build/windows/wineprefix"
trap 'stop_wine "$PREFIX"' EXIT
make_wineprefix "$PREFIX"
make_japanese_locale "$QUILLERY_ROOT/build/windows/locale"
start_wine
run_ctest build/windows || status=1
stop_wine "$PREFIX"

echo "== fuzzers (${QUILLERY_FUZZ_SECONDS:-30} s each)"
if scripts/fuzz.sh "${QUILLERY_FUZZ_SECONDS:-30}"; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    status=1
fi

# Every test program of both flavours, and the fuzz run as one.
echo
echo "Total: $passed passed, $failed failed"
exit $status
