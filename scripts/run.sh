#!/usr/bin/env bash
# Builds Vardion.exe and starts it under Wine: on the current display when
# there is one, otherwise on a virtual one (Xvfb), where it saves a screenshot.
# Installs whatever is missing first (Debian 12).
#
#   scripts/run.sh          start it; it runs until you choose Exit from its tray icon
#   scripts/run.sh stop     end it and its Wine session
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-win
session=scripts/wine-session.sh

if [ "${1:-}" = stop ]; then
    # Vardion saves known.dat when Windows ends the session, as at log-off;
    # stopping the wine server alone would kill it unsaved.
    ended=yes
    if [ -s "$build/wine/display" ]; then
        eval "$(bash "$session" env "$build")"
        timeout 60 wineboot --end-session >"$build/wine/end-session.log" 2>&1 </dev/null ||
            ended=no
    fi
    bash "$session" stop "$build"
    if [ "$ended" = no ]; then
        echo "Wine did not end the session cleanly: known.dat may not be saved." >&2
        exit 1
    fi
    exit 0
fi

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target Vardion desktop_keeper window_driver

# On a display of one's own the program shows there; otherwise on Xvfb.
if [ -n "${DISPLAY:-}" ]; then
    export VARDION_DISPLAY=$DISPLAY
fi
bash "$session" start "$build"
top=$PWD
mkdir -p "$build/run"
# The program's current directory is build-win/run: that is where known.dat lives.
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
