#!/usr/bin/env bash
# Rebuilds what ships from the same sources in a second folder, at another time, in another time zone and locale
# and with another umask, and compares it with the first build: every file must come out byte for byte as the
# first build kept it before signing (<build>/unsigned/), and removing the signature from the first build's
# shipped file must give exactly those bytes. Exits non-zero on any difference.
#
#   scripts/reproduce.sh                    both flavours, everything they sign (the DLLs, the doctors and the
#                                           packages), against build/windows-x86 and build/windows
#   scripts/reproduce.sh x64|x86 TARGET...  one flavour's targets alone (the test command: x64 Quillery
#                                           quillery-doctor)
#
# The first build must exist (scripts/test.sh makes both); it is brought up to date first. The second takes its
# date from the same commit (SOURCE_DATE_EPOCH); it signs with a throwaway chain of its own, whatever the first
# signed with.
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

flavours=(x86 x64)
targets=()
if [ $# -gt 0 ]; then
    case "$1" in
        x86 | x64) flavours=("$1") ;;
        *) echo "usage: $0 [x64|x86 TARGET...]" >&2; exit 2 ;;
    esac
    targets=("${@:2}")
fi
toolchain_of() { if [ "$1" = x64 ]; then echo x86_64; else echo i686; fi; }
dir_of() { if [ "$1" = x64 ]; then echo windows; else echo windows-x86; fi; }
peer_of() { if [ "$1" = x64 ]; then echo windows-x86; else echo windows; fi; }

# The second tree: the files git knows of, as they are in the working tree, in a folder of another name and depth.
second="$QUILLERY_ROOT/build/reproduce/second-tree"
rm -rf "$QUILLERY_ROOT/build/reproduce"
mkdir -p "$second"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' path; do [ -e "$path" ] && printf '%s\0' "$path"; done |
    tar --null -T - -cf - | tar -xf - -C "$second"
git diff --quiet HEAD -- 2>/dev/null || echo "note: the working tree differs from HEAD; both builds are of the working tree"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

# Compares every file the rebuild in $2 kept unsigned with what the first build in $1 kept, and with the first
# build's shipped file less its signature.
compare_unsigned() {
    local first="$1" rebuilt="$2" file name kept shipped removed compared=0
    for file in "$rebuilt/unsigned"/*; do
        name=$(basename "$file")
        [ -n "${done_files[$rebuilt/$name]:-}" ] && continue
        done_files[$rebuilt/$name]=1
        kept="$first/unsigned/$name"
        shipped=$(find "$first" -maxdepth 2 -name "$name" -not -path "*/unsigned/*" | head -n 1)
        compared=$((compared + 1))
        if [ ! -f "$kept" ] || [ -z "$shipped" ]; then
            echo "FAILED: $name: the first build has no such file (build it first)"
            status=1
            continue
        fi
        if ! cmp -s "$kept" "$file"; then
            echo "FAILED: $name differs between the two builds; first differing bytes (offset, first, second):"
            cmp -l "$kept" "$file" 2>&1 | head -n 5 || true
            status=1
        fi
        removed="$rebuilt/unsigned-from-shipped-$name"
        rm -f "$removed"
        if ! osslsigncode remove-signature -in "$shipped" -out "$removed" >/dev/null 2>&1; then
            echo "FAILED: $name: osslsigncode found no signature to remove in $shipped"
            status=1
        elif ! cmp -s "$removed" "$file"; then
            echo "FAILED: $name: the shipped file without its signature is not the rebuilt file"
            cmp -l "$removed" "$file" 2>&1 | head -n 5 || true
            status=1
        else
            echo "same: $name ($(sha256sum <"$file" | cut -c1-16)..., the shipped file less its signature)"
        fi
    done
    [ "$compared" -gt 0 ] || { echo "FAILED: the rebuild in $rebuilt signed nothing"; status=1; }
}

status=0
declare -A done_files
for flavour in "${flavours[@]}"; do
    first="$QUILLERY_ROOT/build/$(dir_of "$flavour")"
    rebuilt="$second/build/$(dir_of "$flavour")"
    echo "== rebuilding the $flavour files in $rebuilt"
    # A compiler launcher changes the compiler's command line (ccache makes the paths under its base folder
    # relative), and with it the paths in the debug information: the rebuild goes through the first build's
    # launcher too, but compiles everything afresh.
    launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$first/CMakeCache.txt" 2>/dev/null || true)
    build() {
        (
            umask 077
            export TZ=Pacific/Kiritimati LC_ALL=C CCACHE_RECACHE=1
            unset QUILLERY_SIGN_PFX QUILLERY_SIGN_PASSWORD_FILE QUILLERY_SIGN_TIMESTAMP_URL
            cmake -S "$second" -B "$rebuilt" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                -DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" \
                -DCMAKE_TOOLCHAIN_FILE="$second/cmake/mingw-w64-$(toolchain_of "$flavour").cmake" \
                -DQUILLERY_PEER_BIN="$second/build/$(peer_of "$flavour")/bin" >/dev/null
            cmake --build "$rebuilt" -j "$(nproc)" --target "$@" >>"$rebuilt/build.log"
        ) || { echo "FAILED: the $flavour rebuild did not build $* (see $rebuilt/build.log)"; status=1; return 1; }
    }
    # The first build is brought up to date: a commit since it was built changes its date, for one.
    wanted=("${targets[@]}")
    [ ${#wanted[@]} -gt 0 ] || wanted=(Quillery quillery-doctor quillery_msi)
    cmake --build "$first" --target "${wanted[@]}" >"$first/reproduce-first.log" ||
        { echo "FAILED: the first $flavour build does not build (see $first/reproduce-first.log)"; status=1; continue; }
    if [ ${#targets[@]} -gt 0 ]; then
        build "${targets[@]}" && compare_unsigned "$first" "$rebuilt"
        continue
    fi
    build Quillery quillery-doctor && compare_unsigned "$first" "$rebuilt" || continue
    # Each signing is new (its time stamp above all), and a package carries signed programs: the package is
    # rebuilt from the first build's signed programs, to show that the package itself comes out the same.
    cp "$first/bin/Quillery.dll" "$first/bin/quillery-doctor.exe" "$rebuilt/bin/"
    build quillery_msi && compare_unsigned "$first" "$rebuilt"
done
[ "$status" -eq 0 ] && echo "reproduced: every rebuilt file is byte for byte the first build's before signing"
exit $status
