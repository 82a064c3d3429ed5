#!/usr/bin/env bash
# Run by scripts/demo.sh inside xvfb-run: opens the About box through the host simulator, takes a PNG screenshot of
# it and closes it by pressing OK.
#   about-shot.sh <build dir> <prefix> <output.png> [<string file (Windows path)> <locale>]
# With a string file, the installation key names it for this showing and gets its own value back afterwards; the
# simulator then runs in the locale (such as ar_EG or he_IL, for code page 1256 or 1255) that the demo generated
# into $QUILLERY_LOCALES. The Wine server of the prefix must not be running: the one started here draws on the X
# screen. With QUILLERY_SHOT_FONT, Wine draws the dialog font (Microsoft Sans Serif, which the prefix maps to
# Tahoma) with that font for this showing: Wine's own Tahoma has no Hebrew letters.
set -euo pipefail
. "$(dirname "$0")/common.sh"

BUILD_DIR="$1"
PREFIX="$2"
OUTPUT="$3"
STRINGS="${4:-}"
LOCALE="${5:-}"

display="$DISPLAY"
wine_environment "$PREFIX"
export DISPLAY="$display"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
signal="$work/close"

FONTS='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
[ -n "${QUILLERY_SHOT_FONT:-}" ] &&
    wine64 reg add "$FONTS" /v 'Microsoft Sans Serif' /t REG_SZ /d "$QUILLERY_SHOT_FONT" /f >/dev/null
locale=(env)
if [ -n "$STRINGS" ]; then
    swap_string_file "$STRINGS"
    locale=(env LOCPATH="$QUILLERY_LOCALES" LC_ALL="$LOCALE.UTF-8")
fi

# Straight into the file: a filter in between would hold the lines back until the simulator ends.
"${locale[@]}" wine "$BUILD_DIR/bin/quillery-hostsim.exe" --about "Z:$signal" word >"$work/log" 2>/dev/null &
simulator=$!

# The simulator says where the box opened once it is on the screen.
geometry=$(screenshot_when_open "$work/log" 'About box open' "$OUTPUT")
tr -d '\r' <"$work/log" | sed -n '/^About box open/p'
touch "$signal"
wait "$simulator" || true
tr -d '\r' <"$work/log" | sed -n '/^pressing OK/,$p'

[ -n "$STRINGS" ] && restore_string_file
[ -n "${QUILLERY_SHOT_FONT:-}" ] &&
    wine64 reg add "$FONTS" /v 'Microsoft Sans Serif' /t REG_SZ /d Tahoma /f >/dev/null
wineserver -k >/dev/null 2>&1 || true
[ -n "$geometry" ] && echo "screenshot: $OUTPUT"
check_drawn_texts "$work/log" 'About box (text|open)'
