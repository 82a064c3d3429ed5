#!/usr/bin/env bash
# The main job, the story a new user wants to see: builds the Windows flavour, makes a fresh Wine prefix, installs
# the product's fixtures (installation key, string and markup files, the maker's printer as the default) and
# registers the add-in. Then Word, Excel and PowerPoint each start as Office does: they find the add-in in their
# add-in keys and load it, show its ribbon group, the user chooses options and prints, the simulator shows the
# driver's one-shot values and every call the host received, the About box opens and closes, the host exits and
# checks that the add-in gave back every object. 32-bit Word does the same with the 32-bit add-in beside them, as
# 32-bit Office on 64-bit Windows, and prints with the driver's values written where the 64-bit driver keeps
# them. Last, pictures: each host's group drawn with real controls and the About box in both directions, taken
# on a virtual X screen.
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

BUILD_DIR=${QUILLERY_BUILD_DIR:-$QUILLERY_ROOT/build/windows}
BUILD_X86_DIR=${QUILLERY_BUILD_X86_DIR:-$QUILLERY_ROOT/build/windows-x86}
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

# The 32-bit and the 64-bit build: the add-in for 32-bit and for 64-bit Office, a host simulator of each, and the
# packages (the x64 one carries the 32-bit build's library, which is therefore built first).
build_windows() {
    build_flavour "$BUILD_X86_DIR" -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-i686.cmake" \
        -DQUILLERY_PEER_BIN="$BUILD_DIR/bin"
    build_flavour "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$QUILLERY_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DQUILLERY_PEER_BIN="$BUILD_X86_DIR/bin"
    cmake --build "$BUILD_X86_DIR" -j "$(nproc)" --target quillery-fixtures settings-report
}

make_prefix() {
    make_wineprefix "$PREFIX"
    start_wine
    echo "prefix: $PREFIX"
}

# The installer writes the installation key into both registry views (the 64-bit and the 32-bit program each
# write their own), naming the same files; the maker's 64-bit driver keeps its key in the 64-bit view.
install_fixtures() {
    run_windows "$BUILD_DIR/bin/quillery-fixtures.exe" "$INSTALL_DIR"
    run_windows "$BUILD_X86_DIR/bin/quillery-fixtures.exe" "$INSTALL_DIR"
}

# The 64-bit and the 32-bit add-in's settings see the same: the driver's key in the 64-bit view, the
# installation key each in its own view.
show_settings() {
    run_windows "$BUILD_DIR/bin/settings-report.exe"
    echo "-- and in a 32-bit process:"
    run_windows "$BUILD_X86_DIR/bin/settings-report.exe"
}

# As the installer does it: regsvr32 calls the add-in's DllRegisterServer, the 64-bit regsvr32 for the 64-bit
# DLL and the 32-bit one (in syswow64) for the 32-bit DLL, each into its own registry view. Then the keys they
# wrote: the Office add-in keys with LoadBehavior 3 (load at start-up) and the class with its server in each view,
# the ProgID that both share, the uninstall entry.
register_addin() {
    local dll dll32
    dll=$(winepath -w "$BUILD_DIR/bin/Quillery.dll" 2>/dev/null)
    dll32=$(winepath -w "$BUILD_X86_DIR/bin/Quillery.dll" 2>/dev/null)
    wine64 regsvr32 /s "$dll" && echo "64-bit regsvr32 $dll: registered"
    wine 'C:\windows\syswow64\regsvr32.exe' /s "$dll32" && echo "32-bit regsvr32 $dll32: registered"
    local key view
    for view in 64 32; do
        echo "-- the $view-bit view"
        for key in 'HKLM\Software\Microsoft\Office\Word\Addins\TandrelQuillery.Connect' \
                   'HKLM\Software\Microsoft\Office\Excel\Addins\TandrelQuillery.Connect' \
                   'HKLM\Software\Microsoft\Office\PowerPoint\Addins\TandrelQuillery.Connect' \
                   'HKCR\CLSID\{@CLSID@}\InprocServer32'; do
            key=${key//@CLSID@/$(connect_class_id)}
            wine64 reg query "$key" "/reg:$view" | tr -d '\r' | sed '/^$/d'
        done
    done
    echo "-- shared by both, and the 64-bit uninstall entry"
    for key in 'HKCR\TandrelQuillery.Connect' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{@CLSID@}'; do
        key=${key//@CLSID@/$(connect_class_id)}
        wine64 reg query "$key" /s /reg:64 | tr -d '\r' | sed '/^$/d'
    done
}

# The connection class's id, from the one place the identifiers live.
connect_class_id() {
    sed -n 's/^set(CLSID_Connect *"\(.*\)")/\1/p' "$QUILLERY_ROOT/resources/Identifiers.cmake"
}

# The host simulator starts the named host as Office does: it reads the host's add-in keys, creates the add-in by
# its ProgID and connects it, asks for its markup, and calls every callback the markup binds in the order the
# ribbon shows the group; then the user chooses, toggles and presses, and at exit the host shuts the add-in down
# and checks the references.
run_host() {
    run_windows "$BUILD_DIR/bin/quillery-hostsim.exe" "$@"
}

# The same host as 32-bit Office: it finds the 32-bit add-in in the 32-bit view and loads it.
run_host32() {
    run_windows "$BUILD_X86_DIR/bin/quillery-hostsim.exe" "$@"
}

# Each host's group drawn with real Win32 controls in the simulator's window on a virtual X screen.
window_shot() {
    xvfb-run -a -s "-screen 0 1024x400x24" scripts/lib/window-shot.sh "$BUILD_DIR" "$PREFIX" "$@"
}

# A shipped string file beside the fixtures' files, as the package installs it (its copyright years filled in).
install_string_file() {
    cp "$BUILD_DIR/installer/strings/$1.xml" "$PREFIX/drive_c/Quillery/strings-$1.xml"
}

show_group_windows() {
    stop_wine "$PREFIX"
    local host
    for host in word excel powerpoint; do
        window_shot "$host" "$DEMO_DIR/group-$host.png"
    done
    # Word in German, and in Japanese in a process of code page 932, as on a Japanese Windows.
    make_locale "$DEMO_DIR/locale" ja_JP
    install_string_file de
    install_string_file ja
    QUILLERY_SHOT_STRINGS="$INSTALL_DIR\\strings-de.xml" window_shot word "$DEMO_DIR/group-word-de.png"
    QUILLERY_SHOT_STRINGS="$INSTALL_DIR\\strings-ja.xml" QUILLERY_SHOT_LOCALE=ja_JP QUILLERY_LOCALES="$DEMO_DIR/locale" \
        window_shot word "$DEMO_DIR/group-word-ja.png"
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
    make_locale "$DEMO_DIR/locale" he_IL
    install_string_file ar
    install_string_file he
    about_shot "$DEMO_DIR/about-left-to-right.png"
    about_shot "$DEMO_DIR/about-right-to-left.png" "$INSTALL_DIR\\strings-ar.xml" ar_EG
    QUILLERY_SHOT_FONT='DejaVu Sans' about_shot "$DEMO_DIR/about-hebrew.png" "$INSTALL_DIR\\strings-he.xml" he_IL
}

show_pictures() {
    echo "The groups:    $DEMO_DIR/group-word.png, $DEMO_DIR/group-excel.png, $DEMO_DIR/group-powerpoint.png"
    echo "Word's group in German and Japanese: $DEMO_DIR/group-word-de.png, $DEMO_DIR/group-word-ja.png"
    echo "The About box: $DEMO_DIR/about-left-to-right.png, $DEMO_DIR/about-right-to-left.png and" \
        "$DEMO_DIR/about-hebrew.png"
    echo "(the README shows copies of them from docs/; cp $DEMO_DIR/group-*.png $DEMO_DIR/about-*.png docs/ refreshes those)"
}

trap 'stop_wine "$PREFIX"' EXIT

run_step "Packages" install_packages
run_step "Windows build ($BUILD_DIR)" build_windows
run_step "Wine prefix" make_prefix
run_step "Installing the product and the maker's default printer" install_fixtures
run_step "What the add-in's settings see" show_settings
run_step "Registering the 64-bit and the 32-bit add-in" register_addin
run_step "Word starts; the user prints 4 pages per sheet, two-sided, in draft quality, and opens the About box" \
    run_host word --choose DropDownNUpWordID=3 --toggle CheckBoxDuplexWordID --choose DropDownPrintQualityWordID=1 \
    --press ButtonPrintWordID --press ButtonAboutWordID
run_step "Excel starts; the user prints in black and white, fitted to the page width" \
    run_host excel --toggle CheckBoxBlackAndWhiteExcelID --toggle CheckBoxFitToPageExcelID --press ButtonPrintExcelID
run_step "PowerPoint starts; the user prints notes pages in high quality" \
    run_host powerpoint --choose DropDownLayoutPowerPointID=1 --choose DropDownPrintQualityPowerPointID=2 \
    --press ButtonPrintPowerPointID
run_step "32-bit Word starts (32-bit Office on 64-bit Windows); the user prints in black and white, in high quality, \
and opens the About box; the driver's values go to the 64-bit view" \
    run_host32 word --toggle CheckBoxBlackAndWhiteWordID --choose DropDownPrintQualityWordID=2 \
    --press ButtonPrintWordID --press ButtonAboutWordID
run_step "Each host's group, drawn with real controls" show_group_windows
run_step "The About box, left to right and right to left" show_about_boxes
run_step "Pictures" show_pictures
