#!/usr/bin/env bash
# Run by scripts/demo.sh inside xvfb-run: shows a host's ribbon group in the host simulator's window of real
# controls, takes a PNG screenshot of the window and closes it.
#   window-shot.sh <build dir> <prefix> <host> <output.png> [<simulator arguments>...]
# With QUILLERY_SHOT_STRINGS (a string file's Windows path) the installation key names that file for this showing,
# and with QUILLERY_SHOT_LOCALE (such as ja_JP, generated into $QUILLERY_LOCALES) the simulator runs in that
# locale's code page. The Wine server of the prefix must not be running: the one started here draws on the X
# screen.
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

locale=(env)
[ -n "${QUILLERY_SHOT_LOCALE:-}" ] && locale=(env LOCPATH="$QUILLERY_LOCALES" LC_ALL="$QUILLERY_SHOT_LOCALE.UTF-8")
[ -n "${QUILLERY_SHOT_STRINGS:-}" ] && swap_string_file "$QUILLERY_SHOT_STRINGS"

# Straight into the file: a filter in between would hold the lines back until the simulator ends.
"${locale[@]}" wine "$BUILD_DIR/bin/quillery-hostsim.exe" --window "Z:$signal" "$HOST" "$@" >"$work/log" 2>/dev/null &
simulator=$!

geometry=$(screenshot_when_open "$work/log" 'Group window open' "$OUTPUT")
touch "$signal"
wait "$simulator" || true
[ -n "${QUILLERY_SHOT_STRINGS:-}" ] && restore_string_file
wineserver -k >/dev/null 2>&1 || true
[ -n "$geometry" ] && echo "screenshot of $HOST's group: $OUTPUT"
check_drawn_texts "$work/log" 'Drawn: '
