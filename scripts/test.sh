#!/usr/bin/env bash
# Builds both flavours and runs every test: the native tests under the sanitizers, the Windows tests under Wine in
# a fresh prefix made for this run, and each fuzzer for a bounded time. Exits non-zero on any failure.
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

ensure_packages "${QUILLERY_PACKAGES[@]}"

status=0

echo "== native build (ASan, UBSan, libFuzzer)"
build_flavour build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLERY_FUZZERS=ON
echo "== native tests"
ctest --test-dir build/native --output-on-failure || status=1

echo "== Windows build (MinGW-w64)"
build_flavour build/windows -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-x86_64.cmake"
echo "== Windows tests under Wine"
make_wineprefix "$QUILLERY_ROOT/build/windows/wineprefix"
make_japanese_locale "$QUILLERY_ROOT/build/windows/locale"
trap stop_wine EXIT
start_wine
ctest --test-dir build/windows --output-on-failure || status=1
stop_wine

echo "== fuzzers (${QUILLERY_FUZZ_SECONDS:-30} s each)"
scripts/fuzz.sh "${QUILLERY_FUZZ_SECONDS:-30}" || status=1

exit $status
