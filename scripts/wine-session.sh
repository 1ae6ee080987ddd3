#!/usr/bin/env bash
# One Wine session for a Windows build directory, or a folder of its exes: an
# Xvfb display, a wine server started once and a Wine virtual desktop, so
# that every Windows test and the program itself start warm and can create
# windows, with or without a DISPLAY of our own.
#
#   wine-session.sh start <build-dir>        start it (replacing a stale one)
#   wine-session.sh stop  <build-dir>        end it: the wine server, its programs, Xvfb
#   wine-session.sh run   <build-dir> <exe> [args...]   run a program in it
#   wine-session.sh env   <build-dir>        print the variables, for `eval` in a shell
#
# With VARDION_DISPLAY set (say :0), start uses that X display instead of
# starting Xvfb, so that the program shows on a screen of one's own.
#
# State lives in <build-dir>/wine: the prefix, the display number, Xvfb's
# process id and the logs. Only processes started here are ever stopped.
#
# The build's vardion-arch file (win32 or win64, written by CMake), or in a
# folder of exes copied from a build the format of its Vardion.exe, picks the
# Wine loader and server: the 32-bit ones and a 32-bit prefix for a 32-bit
# build, as ever; the 64-bit ones alone for a 64-bit build, so that it runs
# where the kernel runs no 32-bit code. Never /usr/bin/wine and its helpers:
# they take the 32-bit loader whenever it is installed.
#
# VARDION_WINE=10 runs the build under Debian 13's Wine 10 instead, in the
# root of scripts/debian13-root.sh (made first with `debian13-root.sh make`),
# with loaders and server of the same widths, and its own state and prefix in
# <build-dir>/wine10, so that both Wines can run one build folder. The
# project and build folders are seen inside at the same paths; the display is
# an Xvfb of the host. Where the machine's own Wine is 10 already, it is the
# one used, as without VARDION_WINE. `env` prints the variables as Wine sees
# them inside the root.
set -euo pipefail

command=${1:?usage: wine-session.sh start|stop|run|env <build-dir> ...}
build=$(cd "${2:?build directory missing}" && pwd)
shift 2
scripts=$(cd "$(dirname "$0")" && pwd)
project=$(dirname "$scripts")
keeper=$build/desktop_keeper.exe

source "$scripts/windows-build.sh"

case ${VARDION_WINE:-} in
"" | own) in_root=no ;;
10) case $(windows_wines) in own) in_root=no ;; *) in_root=yes ;; esac ;;
*)
    echo "VARDION_WINE=$VARDION_WINE: only own (the machine's Wine) and 10 (Debian 13's) are known" >&2
    exit 2
    ;;
esac
if [ "$in_root" = yes ]; then
    state=$build/wine10
    # Where the Wine files are seen from the host.
    files=$(bash "$scripts/debian13-root.sh" path)
else
    state=$build/wine
    files=""
fi

# True while the process runs (a zombie waiting to be reaped does not count).
alive() {
    [ -r /proc/"$1"/stat ] && [ "$(cut -d' ' -f3 /proc/"$1"/stat)" != Z ]
}

not() { ! "$@"; }

# Waits until a command succeeds, polling every 50 ms, for at most $1 seconds.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

arch=$(cat "$build/vardion-arch" 2>/dev/null || true)
if [ -z "$arch" ] && [ -f "$build/Vardion.exe" ]; then
    arch=win$(windows_pe_bits "$build/Vardion.exe" || true)
fi
case $arch in
win32) bits=32 loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 ;;
win64) bits=64 loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 ;;
*)
    # Nothing of an unconfigured build can be running: stop has nothing to do.
    [ "$command" = stop ] && exit 0
    echo "$build is neither a configured Windows build (no vardion-arch) nor a folder" \
        "of its exes (no Vardion.exe)" >&2
    exit 1
    ;;
esac

set_environment() {
    export WINEPREFIX=$state/prefix WINEARCH=$arch WINELOADER=$loader WINESERVER=$server
    export WINEDEBUG=-all
    # Without a UTF-8 locale (none is set in a bare container) Wine cannot
    # name a file whose name holds letters outside ASCII.
    export LANG=${LANG:-C.UTF-8}
    # No .NET or HTML engine to install, no desktop menu entries to write.
    export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
    [ -s "$state/display" ] && export DISPLAY=:$(cat "$state/display")
    # What runs a Wine program: nothing on the host; in the root, its
    # entrance, with the Wine variables, the program's own (VARDION_*) and
    # GoogleTest's (GTEST_*) handed in, since it enters with a clean environment.
    wrap=()
    if [ "$in_root" = yes ]; then
        local name
        wrap=(bash "$scripts/debian13-root.sh" enter -b "$project" -b "$build")
        for name in WINEPREFIX WINEARCH WINELOADER WINESERVER WINEDEBUG WINEDLLOVERRIDES LANG \
            $(compgen -e | grep -x 'LC_ALL\|LOCPATH' || true) \
            $(compgen -e | grep '^VARDION_\|^GTEST_' || true); do
            wrap+=("$name=${!name}")
        done
    fi
    return 0
}

stop_session() {
    set_environment
    # A test that makes its directory immutable and dies before undoing it
    # would leave a build directory that cannot be removed.
    if [ -d "$WINEPREFIX/drive_c/users" ] && command -v chattr >/dev/null; then
        find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -name 'vardion-e2e-*' \
            -exec chattr -i {} + 2>/dev/null || true
    fi
    if [ -d "$WINEPREFIX" ]; then
        timeout 20 "${wrap[@]}" "$server" -k 2>/dev/null || true
        timeout 20 "${wrap[@]}" "$server" -w 2>/dev/null || true
    fi
    if [ -s "$state/xvfb.pid" ]; then
        local pid
        pid=$(cat "$state/xvfb.pid")
        if alive "$pid" && [ "$(cat /proc/"$pid"/comm)" = Xvfb ]; then
            kill "$pid" 2>/dev/null || true
            wait_until 10 not alive "$pid" || kill -9 "$pid" 2>/dev/null || true
        fi
    fi
    rm -f "$state/xvfb.pid" "$state/display" "$state/keeper.log"
}

start_session() {
    [ "$in_root" = no ] || [ -e "$files/.vardion-ready" ] ||
        { echo "no Debian 13 root in $files: bash scripts/debian13-root.sh make" >&2; exit 1; }
    stop_session
    mkdir -p "$state"
    # Xvfb picks a free display itself and writes its number once it accepts
    # clients. Every background process gets its own output files: anything
    # holding the caller's pipe would make the caller wait for it.
    if [ -n "${VARDION_DISPLAY:-}" ]; then
        echo "${VARDION_DISPLAY#:}" >"$state/display"
    else
        : >"$state/display"
        setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
            3>"$state/display" >"$state/xvfb.log" 2>&1 </dev/null &
        echo $! >"$state/xvfb.pid"
        wait_until 15 test -s "$state/display" || { echo "Xvfb did not start" >&2; exit 1; }
    fi
    set_environment

    # A prefix without the mark was left half made by an interrupted start.
    [ -e "$WINEPREFIX/.vardion-ready" ] || rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server daemonises; this call returns once it accepts clients.
    timeout 30 "${wrap[@]}" "$server" -p >"$state/server.log" 2>&1 </dev/null ||
        { cat "$state/server.log" >&2; exit 1; }

    if [ ! -e "$WINEPREFIX/.vardion-ready" ]; then
        timeout 180 "${wrap[@]}" "$loader" wineboot -i >"$state/boot.log" 2>&1 </dev/null
        # A virtual desktop: no window manager needed, and no 2 s wait on each
        # window hide that Wine's X11 driver makes without one.
        timeout 30 "${wrap[@]}" "$loader" reg add 'HKCU\Software\Wine\Explorer' \
            /v Desktop /d shell /f >>"$state/boot.log" 2>&1 </dev/null
        timeout 30 "${wrap[@]}" "$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' \
            /v shell /d 1024x768 /f >>"$state/boot.log" 2>&1 </dev/null
        # This Wine finds Tahoma and Marlett only in the prefix's font folder;
        # the links name the fonts as Wine sees them.
        for font in "$files"/usr/share/wine/fonts/*.ttf; do
            ln -sf "${font#"$files"}" "$WINEPREFIX/drive_c/windows/Fonts/"
        done
        touch "$WINEPREFIX/.vardion-ready"
    fi

    # The keeper holds the desktop open between test programs and says when it is up.
    [ -e "$keeper" ] || { echo "$keeper missing: build first" >&2; exit 1; }
    setsid "${wrap[@]}" "$loader" "$keeper" >"$state/keeper.log" 2>&1 </dev/null &
    wait_until 60 grep -q ready "$state/keeper.log" 2>/dev/null ||
        { echo "the Wine desktop did not come up" >&2; exit 1; }
}

case $command in
start) start_session ;;
stop) stop_session ;;
run)
    [ -s "$state/display" ] || { echo "no Wine session in $build: run start first" >&2; exit 1; }
    set_environment
    # A 32-bit program given to the 64-bit loader where no 32-bit code runs
    # may end at once with exit code 0, as if it had passed.
    if [ -f "${1:-}" ] && program_bits=$(windows_pe_bits "$1") && [ "$program_bits" != "$bits" ]; then
        echo "$1 is a $program_bits-bit program; this is the $bits-bit session of $build" >&2
        exit 1
    fi
    exec "${wrap[@]}" "$loader" "$@"
    ;;
env)
    set_environment
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH='$WINEARCH' WINELOADER='$WINELOADER'" \
        "WINESERVER='$WINESERVER' WINEDEBUG='$WINEDEBUG'" \
        "WINEDLLOVERRIDES='$WINEDLLOVERRIDES' DISPLAY='${DISPLAY:-}'"
    ;;
*) echo "unknown command: $command" >&2; exit 2 ;;
esac
