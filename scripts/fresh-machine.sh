#!/usr/bin/env bash
# The README's two commands as a new user meets them: a minimal Debian 12 (debootstrap's minbase: the Essential
# and required packages, nothing a developer ever installed by hand) in build/fresh-machine/root, a clean clone of
# this checkout's HEAD in it, then scripts/demo.sh and scripts/test.sh run there as root, each installing what it
# needs. CI runs on the machine of whoever submitted; this is how a missing package shows before a customer's
# engineer finds it. Needs root and Debian's archive; about 45 minutes on two cores.
#
# usage: scripts/fresh-machine.sh [--keep] [command ...]
#   command   what to run in the clone, one after the other (default: scripts/demo.sh scripts/test.sh; give
#             scripts/test.sh alone for what CI runs on a machine that never ran the demo)
#   --keep    leave the fresh root in place for a look inside
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"
cd "$QUILLERY_ROOT"

keep=no
commands=()
for argument in "$@"; do
    case "$argument" in
        --keep) keep=yes ;;
        scripts/*.sh) commands+=("$argument") ;;
        *) echo "usage: scripts/fresh-machine.sh [--keep] [scripts/<command>.sh ...]" >&2; exit 2 ;;
    esac
done
[ ${#commands[@]} -gt 0 ] || commands=(scripts/demo.sh scripts/test.sh)
[ "$(id -u)" -eq 0 ] || { echo "scripts/fresh-machine.sh makes a Debian root and enters it: run it as root" >&2; exit 1; }
ensure_packages debootstrap

DIR=${QUILLERY_FRESH_DIR:-$QUILLERY_ROOT/build/fresh-machine}
ROOT="$DIR/root"
MIRROR=${QUILLERY_DEBIAN_MIRROR:-http://deb.debian.org/debian}

# What a running machine has and a chroot lacks: the kernel's views, devices, shared memory (Wine's server
# uses it) and name resolution.
mounts=(proc sys dev dev/pts dev/shm)
unmount_all() {
    local point index
    for ((index = ${#mounts[@]} - 1; index >= 0; index--)); do
        point="$ROOT/${mounts[$index]}"
        mountpoint -q "$point" && umount -l "$point"
    done
    return 0
}
trap unmount_all EXIT

unmount_all
rm -rf "$DIR"
mkdir -p "$DIR"
echo "== a minimal Debian 12 in $ROOT"
debootstrap --variant=minbase bookworm "$ROOT" "$MIRROR" >"$DIR/debootstrap.log" 2>&1 ||
    { tail -n 20 "$DIR/debootstrap.log"; exit 1; }
mount -t proc proc "$ROOT/proc"
mount -t sysfs sys "$ROOT/sys"
mount --bind /dev "$ROOT/dev"
mount --bind /dev/pts "$ROOT/dev/pts"
mount -t tmpfs shm "$ROOT/dev/shm"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"

echo "== a clean clone of $(git rev-parse --short HEAD)"
git clone -q --no-local "$QUILLERY_ROOT" "$ROOT/root/quillery"
git -C "$ROOT/root/quillery" checkout -q "$(git rev-parse HEAD)"

# Each command in a login environment of its own, as a new user's shell gives it: nothing of this machine's.
inside() {
    chroot "$ROOT" /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /root/quillery && $1"
}
status=0
for command in "${commands[@]}"; do
    echo "== $command"
    start=$(date +%s)
    if inside "$command" >"$DIR/$(basename "$command" .sh).log" 2>&1; then result=passed; else result=FAILED; status=1; fi
    echo "$command: $result in $(( $(date +%s) - start )) s (log: $DIR/$(basename "$command" .sh).log)"
    tail -n 3 "$DIR/$(basename "$command" .sh).log"
done
unmount_all
[ "$keep" = yes ] || rm -rf "$ROOT"
exit $status
