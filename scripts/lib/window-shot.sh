#!/usr/bin/env bash
# Run by scripts/demo.sh inside xvfb-run: shows a host's ribbon group in the host simulator's window of real
# controls, takes a PNG screenshot of the window and closes it.
#   window-shot.sh <build dir> <prefix> <host> <output.png> [<simulator arguments>...]
# The Wine server of the prefix must not be running: the one started here draws on the X screen.
set -euo pipefail
. "$(dirname "$0")/common.sh"

BUILD_DIR="$1"
PREFIX="$2"
HOST="$3"
OUTPUT="$4"
shift 4

display="$DISPLAY"
wine_environment "$PREFIX"
export DISPLAY="$display"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
signal="$work/close"

# Straight into the file: a filter in between would hold the lines back until the simulator ends.
wine "$BUILD_DIR/bin/quillery-hostsim.exe" --window "Z:$signal" "$HOST" "$@" >"$work/log" 2>/dev/null &
simulator=$!

geometry=$(screenshot_when_open "$work/log" 'Group window open' "$OUTPUT")
touch "$signal"
wait "$simulator" || true
wineserver -k >/dev/null 2>&1 || true
[ -n "$geometry" ] && echo "screenshot of $HOST's group: $OUTPUT"
