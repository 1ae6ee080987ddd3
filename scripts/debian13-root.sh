#!/usr/bin/env bash
# A Debian 13 (trixie) root with Debian 13's Wine, for running the Windows
# builds under the Wine that today's Debian ships beside the machine's own.
# Made once with debootstrap from the Debian registry the machine already
# uses, then kept (it takes a few minutes to make); the exes and test exes are
# built on the host and run inside it.
#
#   debian13-root.sh make            make the root if it is not there yet, print its path
#   debian13-root.sh path            print its path
#   debian13-root.sh enter CMD...    run a command in the root, with a clean environment
#
# VARDION_DEBIAN13_ROOT overrides where it lives (/var/cache/vardion/trixie).
set -euo pipefail

root=${VARDION_DEBIAN13_ROOT:-/var/cache/vardion/trixie}
# What the Windows tests need in the root: Wine of both widths, a virtual
# display, chattr for the test that locks a folder, and a UTF-8 locale.
packages=(wine wine32:i386 wine64 fonts-wine xvfb xauth e2fsprogs locales procps)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

mirror() {
    # The Debian mirror this machine's own package lists come from.
    local uri
    uri=$(grep -hoE '^URIs: *[^ ]+' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '{print $2}' | grep -v security | head -n 1 || true)
    [ -n "$uri" ] || uri=$(grep -hoE '^deb +[^ ]+' /etc/apt/sources.list 2>/dev/null |
        awk '{print $2}' | grep -v security | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

# Binds what a program in the root needs of the host, once.
mount_host() {
    local dir
    for dir in proc sys dev dev/pts; do
        mountpoint -q "$root/$dir" || as_root mount --bind "/$dir" "$root/$dir"
    done
}

make_root() {
    [ -e "$root/.vardion-ready" ] && return 0
    command -v debootstrap >/dev/null || {
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    }
    echo "Making a Debian 13 root with Wine in $root (a few minutes, once)" >&2
    # A root left half made by an interrupted run starts again from nothing.
    for dir in dev/pts dev sys proc; do
        mountpoint -q "$root/$dir" 2>/dev/null && as_root umount -l "$root/$dir"
    done
    as_root rm -rf "$root"
    as_root mkdir -p "$root"
    as_root debootstrap --variant=minbase trixie "$root" "$(mirror)" >"$root.log" 2>&1 ||
        { tail -n 20 "$root.log" >&2; exit 1; }
    mount_host
    enter_root bash -c "dpkg --add-architecture i386 && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        ${packages[*]} && apt-get clean &&
        sed -i 's/^# *C.UTF-8/C.UTF-8/' /etc/locale.gen && (locale-gen >/dev/null 2>&1 || true)" \
        >>"$root.log" 2>&1 || { tail -n 20 "$root.log" >&2; exit 1; }
    as_root touch "$root/.vardion-ready"
}

# Runs a command in the root with a clean environment: one TMPDIR (none) for
# Wine 10, whose tools abort when it differs from the server's, and a UTF-8
# locale, without which Wine cannot name files outside ASCII.
enter_root() {
    mount_host
    as_root chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 ${DISPLAY:+DISPLAY=$DISPLAY} "$@"
}

case ${1:-} in
make) make_root && echo "$root" ;;
path) echo "$root" ;;
enter)
    shift
    [ -e "$root/.vardion-ready" ] || { echo "no Debian 13 root in $root: make it first" >&2; exit 1; }
    enter_root "$@"
    ;;
*) echo "usage: debian13-root.sh make|path|enter CMD..." >&2; exit 2 ;;
esac
