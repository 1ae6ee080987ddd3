#!/usr/bin/env bash
# Builds Vardion.exe and starts it under Wine: on the current display when
# there is one, otherwise on a virtual one (Xvfb), where it saves a screenshot.
# It runs the 32-bit build (build-win) where this machine runs 32-bit code,
# and the 64-bit build (build-win64) where it does not, and says which.
# Installs whatever is missing first (Debian 12).
#
#   scripts/run.sh          start it; it runs until you choose Exit from its tray icon
#   scripts/run.sh stop     end it and its Wine session
set -euo pipefail
cd "$(dirname "$0")/.."
session=scripts/wine-session.sh
source scripts/windows-build.sh

if [ "${1:-}" = stop ]; then
    # Vardion saves known.dat when Windows ends the session, as at log-off;
    # stopping the wine server alone would kill it unsaved. Whichever build
    # runs is ended, each in its own session.
    ended=yes
    for build in build-win build-win64; do
        if [ -s "$build/wine/display" ]; then
            timeout 60 bash "$session" run "$build" wineboot --end-session \
                >"$build/wine/end-session.log" 2>&1 </dev/null || ended=no
        fi
        bash "$session" stop "$build"
    done
    if [ "$ended" = no ]; then
        echo "Wine did not end the session cleanly: known.dat may not be saved." >&2
        exit 1
    fi
    exit 0
fi

scripts/install-deps.sh
arch=$(windows_arches | cut -d' ' -f1)
build=$(windows_build_dir "$arch")
if [ "$arch" = win32 ]; then
    echo "This machine runs 32-bit code: running the 32-bit Vardion.exe ($build)."
elif [ "${VARDION_RUN_32BIT:-}" = 0 ]; then
    echo "VARDION_RUN_32BIT=0: running the 64-bit Vardion.exe ($build)," \
        "as on a machine that runs no 32-bit code."
else
    echo "This machine runs no 32-bit code: running the 64-bit Vardion.exe ($build)."
fi
windows_build "$arch" "$build" Vardion desktop_keeper window_driver

# On a display of one's own the program shows there; otherwise on Xvfb.
if [ -n "${DISPLAY:-}" ]; then
    export VARDION_DISPLAY=$DISPLAY
fi
bash "$session" start "$build"
top=$PWD
mkdir -p "$build/run"
# The program's current directory is <build>/run: that is where known.dat lives.
# Nothing started here may keep this script's output open, or a caller reading
# it through a pipe would wait as long as Vardion runs.
(cd "$build/run" && exec setsid bash "$top/$session" run "$top/$build" "$top/$build/Vardion.exe") \
    >"$top/$build/wine/vardion.log" 2>&1 </dev/null &

echo "Vardion runs under Wine; its trusted list is $build/run/known.dat."
if [ -z "${DISPLAY:-}" ]; then
    eval "$(bash "$session" env "$build")"
    sleep 3
    import -window root "$build/run/screen.png"
    echo "No display of your own: it runs on Xvfb $DISPLAY. Screenshot: $build/run/screen.png"
fi
echo "End it with Exit from its tray icon's menu, or: bash scripts/run.sh stop"
