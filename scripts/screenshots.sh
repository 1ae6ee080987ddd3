#!/usr/bin/env bash
# Takes a PNG of each of Vardion's windows under Xvfb: the main dialog, the
# alert window and the About box, and the tip that shows a program's whole
# path over a row of each list.
#
#   scripts/screenshots.sh [build-dir] [out-dir]   (defaults: build-win, <build-dir>/screenshots)
#
# Runs Vardion.exe of a Windows build in that build's Wine session (do not run
# it while the Windows suite runs in the same build directory) and drives it with
# window_driver.exe, which finds windows by caption: Wine's virtual desktop is
# one X window, inside which X tools see nothing. A window the program does not
# open by itself is opened as the program would (About: system command 0x10;
# the alert: the first untrusted process shows it). Where the program does not
# do that yet, the window is shown from its template in Vardion.exe instead,
# without the program's behaviour, and the script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build-win}" && pwd)
out=${2:-$build/screenshots}
mkdir -p "$out"
session=scripts/wine-session.sh
exe=$build/Vardion.exe

driver() { timeout 60 bash "$session" run "$build" "$build/window_driver.exe" "$@" | tr -d '\r'; }

# Saves the window's rectangle of the screen, once two shots in a row agree
# (the desktop draws into the X window a little after the program paints).
shoot() {
    local name=$1 x y w h previous="" current
    read -r x y w h <<<"$2"
    for _ in $(seq 50); do
        import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
        current=$(md5sum <"$out/$name.png")
        [ "$current" = "$previous" ] && { echo "$out/$name.png"; return; }
        previous=$current
        sleep 0.1
    done
    echo "$out/$name.png (still changing)"
}

# Saves a window with the tip over one of its rows, given "x y w h px py",
# and draws the pointer at (px, py), where it rests: X leaves it out of a
# screenshot.
shoot_tip() {
    local name=$1 x y w h px py
    read -r x y w h px py <<<"$2"
    shoot "$name" "$x $y $w $h" >/dev/null
    local arrow="$px,$py $px,$((py + 16)) $((px + 4)),$((py + 12)) $((px + 7)),$((py + 18))"
    arrow+=" $((px + 9)),$((py + 17)) $((px + 6)),$((py + 11)) $((px + 11)),$((py + 11))"
    convert "$out/$name.png" -fill white -stroke black -draw "polygon $arrow" "$out/$name.png"
    echo "$out/$name.png"
}

# Shows the window from its template when the program does not show it.
from_template() {
    local caption=$1 id=$2
    echo "$caption: not shown by this Vardion.exe; taken from template $id" >&2
    bash "$session" run "$build" "$build/window_driver.exe" template "Z:$exe" "$id" \
        >/dev/null 2>&1 &
    driver front "$caption" 10
}

bash "$session" start "$build"
trap 'bash "$session" stop "$build"' EXIT
eval "$(bash "$session" env "$build")"

# A program in a folder whose name has spaces, for the tips to show.
tool_dir="$WINEPREFIX/drive_c/Program Files/Example Tools"
mkdir -p "$tool_dir"
cp "$build/sleeper.exe" "$tool_dir/example tool.exe"
bash "$session" run "$build" 'C:\Program Files\Example Tools\example tool.exe' \
    >/dev/null 2>&1 &

# In the output folder, where it may write known.dat.
(cd "$out" && bash "$OLDPWD/$session" run "$build" "$exe" >/dev/null 2>&1 &)
driver front Vardion 20 >/dev/null

# The alert first: it comes up over the main window at the first scan.
if rect=$(driver front "Untrusted Process Detected" 3); then
    shoot alert "$rect"
else
    shoot alert "$(from_template "Untrusted Process Detected" 103)"
fi
shoot main "$(driver front Vardion)"

# The pointer resting on a row, in front of which the tip shows.
shoot_tip main-tip "$(driver tip Vardion 1002 "example tool.exe")"
shoot_tip alert-tip "$(driver tip "Untrusted Process Detected" 1008 explorer.exe)"

driver syscommand Vardion 0x10 || true
if rect=$(driver front "About Vardion" 3); then
    shoot about "$rect"
else
    shoot about "$(from_template "About Vardion" 100)"
fi
