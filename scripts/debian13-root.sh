#!/usr/bin/env bash
# A Debian 13 (trixie) root with Debian 13's Wine, for running the Windows
# builds under the Wine that today's Debian ships beside the machine's own.
# Made once with debootstrap from the Debian registry the machine already
# uses, then kept (it takes a few minutes to make); the exes and test exes are
# built on the host and run inside it.
#
#   debian13-root.sh make            make the root if it is not there yet, print its path
#   debian13-root.sh path            print its path
#   debian13-root.sh wine-version    print the version of the root's Wine (wine-10.0)
#   debian13-root.sh enter [-b DIR]... [-C DIR] [NAME=VALUE]... CMD...
#       run a command in the root with a clean environment (PATH, HOME,
#       LANG=C.UTF-8, DISPLAY if set, and the NAME=VALUE given); each DIR is
#       seen at the same path inside, and -C DIR is the command's directory
#       (by default the current one when it is seen inside, else /)
#
# A command runs in a mount namespace of its own, where /proc, /sys, /dev, the
# X sockets and the given folders are bound into the root: the binds end with
# the last process that sees them, so runs leave no mounts behind on the host
# and none pile up. A wine server started in the root keeps its own binds for
# as long as it runs; the programs that talk to it bind theirs.
#
# VARDION_DEBIAN13_ROOT overrides where it lives (/var/cache/vardion/trixie).
set -euo pipefail

self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
root=${VARDION_DEBIAN13_ROOT:-/var/cache/vardion/trixie}
# What the Windows tests need in the root: Wine of both widths, a virtual
# display, chattr for the test that locks a folder, and a UTF-8 locale.
packages=(wine wine32:i386 wine64 fonts-wine xvfb xauth e2fsprogs locales procps)
# shellcheck source=scripts/as-root.sh
source "$(dirname "$self")/as-root.sh"

mirror() {
    # The Debian mirror this machine's own package lists come from.
    local uri
    uri=$(grep -hoE '^URIs: *[^ ]+' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '{print $2}' | grep -v security | head -n 1 || true)
    [ -n "$uri" ] || uri=$(grep -hoE '^deb +[^ ]+' /etc/apt/sources.list 2>/dev/null |
        awk '{print $2}' | grep -v security | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

# The mount points under the root, deepest first (/proc/self/mounts escapes a
# space in a path as \040).
mounts_under_root() {
    awk -v r="$root/" 'index($2, r) == 1 { print $2 }' /proc/self/mounts |
        sed 's/\\040/ /g' | sort -r
}

make_root() {
    [ -e "$root/.vardion-ready" ] && return 0
    command -v debootstrap >/dev/null || {
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    }
    echo "Making a Debian 13 root with Wine in $root (a few minutes, once)" >&2
    local start=$SECONDS
    # A root left half made by an interrupted run starts again from nothing;
    # never remove it while anything of the host is mounted into it.
    local dir
    while read -r dir; do
        [ -n "$dir" ] && as_root umount -l "$dir"
    done < <(mounts_under_root)
    if [ -n "$(mounts_under_root)" ]; then
        echo "$root still has mounts in it; not removing it" >&2
        exit 1
    fi
    as_root rm -rf --one-file-system "$root"
    as_root mkdir -p "$root"
    as_root debootstrap --variant=minbase trixie "$root" "$(mirror)" >"$root.log" 2>&1 ||
        { tail -n 20 "$root.log" >&2; exit 1; }
    (enter_root --as-root bash -c "dpkg --add-architecture i386 && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        ${packages[*]} && apt-get clean && rm -rf /var/lib/apt/lists/* /usr/share/doc/* &&
        sed -i 's/^# *C.UTF-8/C.UTF-8/' /etc/locale.gen && (locale-gen >/dev/null 2>&1 || true)") \
        >>"$root.log" 2>&1 || { tail -n 20 "$root.log" >&2; exit 1; }
    as_root touch "$root/.vardion-ready"
    echo "Made $root in $((SECONDS - start)) s: $(du -sh --one-file-system "$root" | cut -f1)" >&2
}

# Runs a command in the root with a clean environment: one TMPDIR (none) for
# Wine 10, whose tools abort when it differs from the server's, and a UTF-8
# locale, without which Wine cannot name files outside ASCII.
# The command runs as the caller (a prefix belongs to whoever made it, and
# Wine refuses one of another user); --as-root runs it as root.
enter_root() {
    local cwd="" binds=() user
    user=$(id -u):$(id -g)
    while [ $# -gt 0 ]; do
        case $1 in
        --as-root) user=0:0 && shift ;;
        -b) binds+=("$(cd "$2" && pwd -P)") && shift 2 ;;
        -C) cwd=$2 && shift 2 ;;
        --) shift && break ;;
        *) break ;;
        esac
    done
    if [ -z "$cwd" ]; then
        cwd=/
        local here dir
        here=$(pwd -P)
        for dir in "${binds[@]}"; do
            case $here/ in "$dir"/*) cwd=$here ;; esac
        done
    fi
    # One process from here to the program (every step execs the next), so
    # that a timeout or ctest ends the program itself.
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    exec "${sudo[@]}" unshare --mount --propagation private -- \
        bash "$self" __in-namespace "$user" "$cwd" "${#binds[@]}" "${binds[@]}" \
        ${DISPLAY:+DISPLAY=$DISPLAY} "$@"
}

# In the namespace of enter_root: bind what the command needs, then enter.
in_namespace() {
    local user=$1 cwd=$2 count=$3 dir
    shift 3
    local binds=("${@:1:count}")
    shift "$count"
    mount --bind /proc "$root/proc"
    mount --bind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    # X servers of the host, for a display on the host (Xvfb or one's own).
    if [ -d /tmp/.X11-unix ]; then
        mkdir -p "$root/tmp/.X11-unix"
        mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    fi
    # Shorter paths first, so that a folder inside another stays seen.
    while read -r dir; do
        [ -n "$dir" ] || continue
        mkdir -p "$root$dir"
        mount --rbind "$dir" "$root$dir"
    done < <(printf '%s\n' "${binds[@]}" | awk '{ print length, $0 }' | sort -n | cut -d' ' -f2-)
    local as=() home=/root
    if [ "$user" != 0:0 ]; then
        as=(--userspec="$user")
        home=/tmp
    fi
    exec chroot "${as[@]}" "$root" /usr/bin/env -i -C "$cwd" PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=$home LANG=C.UTF-8 "$@"
}

need_root() {
    [ -e "$root/.vardion-ready" ] || { echo "no Debian 13 root in $root: make it first" >&2; exit 1; }
}

case ${1:-} in
# The path alone on standard output, which callers take as the answer; the
# making (apt's progress where debootstrap is installed first) goes to stderr.
make) make_root >&2 && echo "$root" ;;
path) echo "$root" ;;
wine-version)
    need_root
    enter_root /usr/lib/wine/wine64 --version
    ;;
enter)
    shift
    need_root
    enter_root "$@"
    ;;
__in-namespace)
    shift
    in_namespace "$@"
    ;;
*) echo "usage: debian13-root.sh make|path|wine-version|enter [-b DIR]... [-C DIR] CMD..." >&2; exit 2 ;;
esac
