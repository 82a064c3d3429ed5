#!/usr/bin/env bash
# The main job: builds the Windows flavour, installs the product's fixtures (installation key, string and markup
# files, the maker's printer as the default) into a prefix of its own, shows what the add-in sees there, and takes
# screenshots of the About box in both directions on a virtual X screen.
# Each step is a function; run_step prints its title, so a new step is one function and one line at the end.
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

BUILD_DIR=${QUILLERY_BUILD_DIR:-$QUILLERY_ROOT/build/windows}
DEMO_DIR=${QUILLERY_DEMO_DIR:-$QUILLERY_ROOT/build/demo}
PREFIX="$DEMO_DIR/wineprefix"
INSTALL_DIR='C:\Quillery'

run_step() {
    echo
    echo "== $1"
    shift
    "$@"
}

# Wine writes CRLF line ends.
run_windows() {
    wine "$@" | tr -d '\r'
}

install_packages() {
    ensure_packages "${QUILLERY_PACKAGES[@]}" "${QUILLERY_DEMO_PACKAGES[@]}"
}

build_windows() {
    build_flavour "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-x86_64.cmake"
}

make_prefix() {
    make_wineprefix "$PREFIX"
    start_wine
    echo "prefix: $PREFIX"
}

install_fixtures() {
    run_windows "$BUILD_DIR/bin/quillery-fixtures.exe" "$INSTALL_DIR"
}

show_settings() {
    run_windows "$BUILD_DIR/bin/settings-report.exe"
}

# As the installer does it: regsvr32 calls the add-in's DllRegisterServer. Then the keys it wrote: the Office
# add-in keys with LoadBehavior 3 (load at start-up), the class with its server and ProgID, the uninstall entry.
register_addin() {
    local dll
    dll=$(winepath -w "$BUILD_DIR/bin/Quillery.dll" 2>/dev/null)
    wine regsvr32 /s "$dll" && echo "regsvr32 $dll: registered"
    local key
    for key in 'HKLM\Software\Microsoft\Office\Word\Addins\TandrelQuillery.Connect' \
               'HKLM\Software\Microsoft\Office\Excel\Addins\TandrelQuillery.Connect' \
               'HKLM\Software\Microsoft\Office\PowerPoint\Addins\TandrelQuillery.Connect' \
               'HKCR\TandrelQuillery.Connect' \
               'HKCR\CLSID\{@CLSID@}' \
               'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{@CLSID@}'; do
        key=${key//@CLSID@/$(connect_class_id)}
        run_windows reg query "$key" /s | sed '/^$/d'
    done
}

# The connection class's id, from the one place the identifiers live.
connect_class_id() {
    sed -n 's/^set(CLSID_Connect *"\(.*\)")/\1/p' "$QUILLERY_ROOT/resources/Identifiers.cmake"
}

# The host simulator creates the add-in through COM as the named host does, connects it, receives its ribbon markup
# and asks every control for its label, visibility and state by name; then it operates the controls named after
# the host (ControlID=item index, or on/off) and presses Print, and shows the driver's one-shot values and every
# call the add-in made on the host's objects.
load_in_host() {
    run_windows "$BUILD_DIR/bin/quillery-hostsim.exe" "$@"
}

# The group's About button pressed on a virtual X screen, once in English and once in Arabic (right to left):
# each box is photographed and closed by pressing OK. The Wine server restarts inside the X session so that the
# boxes are drawn there.
about_shot() {
    QUILLERY_LOCALES="$DEMO_DIR/locale" xvfb-run -a -s "-screen 0 800x600x24" \
        scripts/lib/about-shot.sh "$BUILD_DIR" "$PREFIX" "$@"
}

show_about_boxes() {
    stop_wine "$PREFIX"
    make_locale "$DEMO_DIR/locale" ar_EG
    cp tools/hostsim/data/strings-ar.xml "$PREFIX/drive_c/Quillery/strings-ar.xml"
    about_shot "$DEMO_DIR/about-left-to-right.png"
    about_shot "$DEMO_DIR/about-right-to-left.png" "$INSTALL_DIR\\strings-ar.xml"
    echo "The About box's pictures: $DEMO_DIR/about-left-to-right.png and $DEMO_DIR/about-right-to-left.png"
    echo "(the README shows copies of them from docs/; cp $DEMO_DIR/about-*.png docs/ refreshes those)"
}

trap 'stop_wine "$PREFIX"' EXIT

run_step "Packages" install_packages
run_step "Windows build ($BUILD_DIR)" build_windows
run_step "Wine prefix" make_prefix
run_step "Installing the product and the maker's default printer" install_fixtures
run_step "What the add-in's settings see" show_settings
run_step "Registering the add-in" register_addin
run_step "Word loads the add-in; the user prints 4 pages per sheet, two-sided, in draft quality" \
    load_in_host word DropDownNUpWordID=3 CheckBoxDuplexWordID=on DropDownPrintQualityWordID=1 print
run_step "Excel: the user prints in black and white, fitted to the page width" \
    load_in_host excel CheckBoxBlackAndWhiteExcelID=on CheckBoxFitToPageExcelID=on print
run_step "PowerPoint: the user prints notes pages in high quality" \
    load_in_host powerpoint DropDownLayoutPowerPointID=1 DropDownPrintQualityPowerPointID=2 print
run_step "The About box, left to right and right to left" show_about_boxes
