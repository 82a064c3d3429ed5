#!/usr/bin/env bash
# Draws how the build's libraries and programs depend on each other, from the build itself (CMake's --graphviz on
# the 64-bit Windows flavour, filtered by CMakeGraphVizOptions.cmake), into docs/dependencies.dot and, with
# Graphviz, the picture docs/dependencies.svg that docs/inside.md shows.
#
#   scripts/draw-dependencies.sh           writes both files
#   scripts/draw-dependencies.sh --check   fails when docs/dependencies.dot is not what the build draws today
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Configuring is enough: nothing is built.
cmake -S . -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DQUILLERY_PEER_BIN=none --graphviz="$work/dependencies.dot" >/dev/null 2>&1
if [ "${1:-}" = --check ]; then
    if ! diff -u docs/dependencies.dot "$work/dependencies.dot"; then
        echo "FAILED: docs/dependencies.dot is stale: run scripts/draw-dependencies.sh and commit what it draws"
        exit 1
    fi
    echo "docs/dependencies.dot is what the build draws"
    exit 0
fi
ensure_packages graphviz
cp "$work/dependencies.dot" docs/dependencies.dot
dot -Tsvg docs/dependencies.dot -o docs/dependencies.svg
echo "docs/dependencies.dot and docs/dependencies.svg drawn"
