#!/usr/bin/env bash
# Every file the build ships, one row each (each library, the doctor, each package): osslsigncode verifies its
# SHA-256 signature and its time stamp against the build's root (a release build's against the system's
# bundle), and refuses a copy with one byte changed. A program or library carries no debug information of its
# own, links the debug file beside it, and imports no MinGW runtime library.
#   shipped_files_test.sh <objdump> <objcopy> <root certificate, or "" for the system's> <file>...
set -uo pipefail
objdump=$1 objcopy=$2 root=$3
shift 3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trust=()
[ -n "$root" ] && trust=(-CAfile "$root" -TSA-CAfile "$root")
[ $# -gt 0 ] || fail "the build names no shipped file"

# The offset of a byte that the signature covers: in a program or library a third of the way in (code; the
# signature sits at the end); in a package, inside its string pool (free sectors of the compound file are not
# covered).
covered_byte() {
    case "$1" in
        *.msi) grep -obUaF -m 1 "$(msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "UpgradeCode" { print $2 }')" "$1" | cut -d: -f1 ;;
        *) echo $(( $(stat -c %s "$1") / 3 )) ;;
    esac
}

for file in "$@"; do
    name=$(basename "$file")
    if [ ! -f "$file" ]; then
        fail "$name: not built"
        continue
    fi
    report=$(osslsigncode verify "${trust[@]}" -in "$file" 2>&1)
    grep -q '^Signature verification: ok' <<<"$report" || fail "$name does not verify: $(tail -n 3 <<<"$report")"
    grep -q '^Message digest algorithm *: SHA256' <<<"$report" || fail "$name is not signed with SHA-256"
    grep -q '^Timestamp Server Signature verification: ok' <<<"$report" || fail "$name has no valid time stamp"

    offset=$(covered_byte "$file")
    if [ -z "$offset" ]; then
        fail "$name: no byte found to change"
    else
        cp "$file" "$work/$name"
        byte=$(od -An -tu1 -j "$offset" -N 1 "$file" | tr -d ' ')
        printf "\\$(printf %03o $((byte ^ 0xFF)))" | dd of="$work/$name" bs=1 seek="$offset" conv=notrunc status=none
        cmp -s "$file" "$work/$name" && fail "$name: the copy was not changed"
        osslsigncode verify "${trust[@]}" -in "$work/$name" >/dev/null 2>&1 && fail "$name verifies with a byte changed"
    fi

    case "$name" in
        *.dll | *.exe)
            sections=$("$objdump" -h "$file")
            grep -q ' \.debug_' <<<"$sections" && fail "$name still carries debug information"
            # The link is the debug file's name, padding, and the file's CRC-32 (which gzip's trailer also holds).
            "$objcopy" --dump-section .gnu_debuglink="$work/link" "$file" "$work/scratch" 2>/dev/null
            link=$(head -z -n 1 "$work/link" 2>/dev/null | tr -d '\0')
            [ "$link" = "$name.debug" ] || fail "$name links '$link', not $name.debug"
            if "$objdump" -h "$file.debug" 2>/dev/null | grep -q ' \.debug_info'; then
                [ "$(tail -c 4 "$work/link" 2>/dev/null | od -An -tx1)" = "$(gzip -c "$file.debug" | tail -c 8 | head -c 4 | od -An -tx1)" ] ||
                    fail "$name.debug is not the file $name was stripped with"
            else
                fail "$name.debug holds no debug information"
            fi
            runtime=$("$objdump" -p "$file" | grep 'DLL Name: lib')
            [ -z "$runtime" ] || fail "$name imports a MinGW runtime library: $runtime"
            ;;
    esac
    echo "checked $name"
done
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all $# shipped files signed, verified and refused once changed"
