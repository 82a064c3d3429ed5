#!/usr/bin/env bash
# Run by scripts/demo.sh inside xvfb-run: opens the About box through the host simulator, takes a PNG screenshot of
# it and closes it by pressing OK.
#   about-shot.sh <build dir> <prefix> <output.png> [<string file (Windows path)>]
# With a string file, the installation key names it for this showing and gets its own value back afterwards; the
# simulator then runs in the Arabic locale (code page 1256) that the demo generated into $QUILLERY_LOCALES. The
# Wine server of the prefix must not be running: the one started here draws on the X screen.
set -euo pipefail
. "$(dirname "$0")/common.sh"

BUILD_DIR="$1"
PREFIX="$2"
OUTPUT="$3"
STRINGS="${4:-}"
INSTALL_KEY='HKLM\Software\Corvane\Toolbar_Office'

display="$DISPLAY"
wine_environment "$PREFIX"
export DISPLAY="$display"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
signal="$work/close"

saved=""
locale=(env)
if [ -n "$STRINGS" ]; then
    saved=$(wine64 reg query "$INSTALL_KEY" /v XMLStrings | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
    wine64 reg add "$INSTALL_KEY" /v XMLStrings /t REG_SZ /d "$STRINGS" /f >/dev/null
    locale=(env LOCPATH="$QUILLERY_LOCALES" LC_ALL=ar_EG.UTF-8)
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

if [ -n "$STRINGS" ]; then
    wine64 reg add "$INSTALL_KEY" /v XMLStrings /t REG_SZ /d "$saved" /f >/dev/null
fi
wineserver -k >/dev/null 2>&1 || true
[ -n "$geometry" ] && echo "screenshot: $OUTPUT"
