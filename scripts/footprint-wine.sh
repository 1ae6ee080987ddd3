#!/usr/bin/env bash
# Runs Vardion.exe under Wine for a span of ticks (60 s unless given) and prints
# its footprint measured from outside: CPU per second of wall time, working
# set, and the count of kernel handles at the end; and what it costs the whole
# machine: the busy time of all cores with it running, minus the same over a
# span of the same length just before, without it. In two states: with the
# alert up and the tray icon blinking, and at rest, the alert dismissed with
# "Ignore"; each with the system's own processes and with 100 extra small
# processes.
#
#   scripts/footprint-wine.sh [build-dir] [seconds] [earlier]
# Without a build folder (or with an empty one, ""), the 32-bit and the 64-bit
# build are measured one after the other where this machine runs both, else
# the 64-bit one. With `earlier`, another version is measured beside the
# build's own Vardion.exe, each case right after the other: `earlier` is an
# exe (a Linux path), or the top of another work tree, whose build folder of
# the same name holds its Vardion.exe (build-win/Vardion.exe, say).
#
# Each measurement ends with one line of its figures:
#   footprint build=win32 state=rest processes=system exe=this machine=0.5 idle=3.1 session=0.4 session_idle=1.0 own=12.0 rss=24456 handles=37 alert=hidden path=...
# machine: % of a core the whole machine spent with Vardion running, less
# idle: the same without it; session and session_idle: the same of the
# processes of the build's Wine session alone (its wine server, desktop and
# programs, Vardion included, and its Xvfb), which the load of other work on
# the machine leaves out; own: Vardion's own CPU in ms per second; rss:
# its resident memory in KiB at the end; handles: its kernel handles at the
# end; alert: whether the alert showed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${2:-60}
source scripts/windows-build.sh
session=scripts/wine-session.sh
hz=$(getconf CLK_TCK)

now() { date +%s.%N; }
# Busy ticks of all cores: user, nice, system, irq, softirq and steal.
busy() { awk '/^cpu / {print $2 + $3 + $4 + $7 + $8 + $9}' /proc/stat; }
read_proc() {  # cpu ticks, resident KiB, open descriptors
    local stat rss fds
    stat=$(awk '{print $14 + $15}' /proc/"$pid"/stat)
    rss=$(awk '/^VmRSS/ {print $2}' /proc/"$pid"/status)
    fds=$(ls /proc/"$pid"/fd | wc -l)
    echo "$stat $rss $fds"
}
# "pid ticks" of every process of the build's Wine session: its wine server,
# desktop, services and programs, and its Xvfb. They do the work of Vardion's
# calls; the load of anything else on the machine is not in their figures.
session_ticks() {
    local prefix=$top/wine/prefix p
    {
        { grep -lzx "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null || true; } | cut -d/ -f3
        cat "$top/wine/xvfb.pid" 2>/dev/null || true
    } | sort -u | while read -r p; do
        # The fields after the command name, which may hold spaces.
        sed 's/^.*) //' /proc/"$p"/stat 2>/dev/null | awk -v p="$p" '{print p, $12 + $13}' || true
    done
}
# Busy ticks of the session between two session_ticks files; a process that
# started meanwhile counts whole.
session_busy() {
    awk 'NR == FNR { t0[$1] = $2; next } { b += $2 - ($1 in t0 ? t0[$1] : 0) } END { print b + 0 }' "$1" "$2"
}
percent() {  # busy ticks, from, to: percent of one core
    awk -v b="$1" -v t0="$2" -v t1="$3" -v hz="$hz" 'BEGIN { printf "%.1f", 100 * b / hz / (t1 - t0) }'
}

measure() {  # state (blinking or rest), processes (label), exe label, exe
    local state=$1 processes=$2 label=$3 exe=$4
    echo "== $label exe, $state, $processes processes: $exe"
    local b0 b1 b2 b3 t0 t1 t2 t3 cpu0 cpu1 rss0 rss1 fd0 fd1 runner without with log
    log=$build/wine/footprint.log
    session_ticks >"$build/wine/s0"
    b0=$(busy) t0=$(now)
    sleep "$seconds"
    b1=$(busy) t1=$(now)
    session_ticks >"$build/wine/s1"

    # Wine answers the Windows counters for another process with zeros where it
    # keeps no account; the Linux side of the same process is read from /proc too.
    bash "$session" run "$build" "$build/footprint_wine.exe" "Z:$exe" "$seconds" "$state" \
        >"$log" 2>&1 &
    runner=$!
    pid=""
    for _ in $(seq 200); do
        pid=$(pgrep -fx "Z:$exe" | head -n 1 || true)
        [ -n "$pid" ] && break
        sleep 0.05
    done
    [ -n "$pid" ] || { echo "Vardion.exe did not start" >&2; exit 1; }
    # footprint_wine says when the state is reached and its span begins.
    for _ in $(seq 1200); do
        grep -q '^measuring' "$log" && break
        sleep 0.05
    done
    grep -q '^measuring' "$log" || { echo "footprint_wine did not begin" >&2; exit 1; }
    read -r cpu0 rss0 fd0 <<<"$(read_proc)"
    session_ticks >"$build/wine/s2"
    b2=$(busy) t2=$(now)
    sleep "$seconds"
    read -r cpu1 rss1 fd1 <<<"$(read_proc)"
    b3=$(busy) t3=$(now)
    session_ticks >"$build/wine/s3"
    wait "$runner" || true

    tr -d '\r' <"$log" | grep -v '^result '
    echo "From /proc of the Wine process (pid $pid):"
    awk -v c0="$cpu0" -v c1="$cpu1" -v hz="$hz" -v t0="$t2" -v t1="$t3" \
        'BEGIN { printf "  CPU %.2f s over %.1f s: %.1f ms per second of wall time\n", (c1-c0)/hz, t1-t0, 1000*(c1-c0)/hz/(t1-t0) }'
    echo "  resident memory ${rss0} KiB at start, ${rss1} KiB at the end"
    echo "  open descriptors ${fd0} at start, ${fd1} at the end"
    without=$(percent $((b1 - b0)) "$t0" "$t1")
    with=$(percent $((b3 - b2)) "$t2" "$t3")
    echo "The whole machine (all cores' busy time, the wine server and the desktop included):"
    echo "  ${without} % of a core without Vardion, ${with} % with it:" \
        "Vardion costs $(awk -v a="$with" -v b="$without" 'BEGIN { printf "%.1f", a - b }') % of a core"
    local handles alert sidle swith
    sidle=$(percent "$(session_busy "$build/wine/s0" "$build/wine/s1")" "$t0" "$t1")
    swith=$(percent "$(session_busy "$build/wine/s2" "$build/wine/s3")" "$t2" "$t3")
    echo "The Wine session alone (its processes and its Xvfb, read from /proc):"
    echo "  ${sidle} % of a core without Vardion, ${swith} % with it"
    handles=$(tr -d '\r' <"$log" | sed -n 's/^result handles=//p')
    alert=$(tr -d '\r' <"$log" | sed -n 's/^alert at the end: //p')
    echo "footprint build=$arch state=$state processes=$processes exe=$label" \
        "machine=$(awk -v a="$with" -v b="$without" 'BEGIN { printf "%.1f", a - b }')" \
        "idle=$without" \
        "session=$(awk -v a="$swith" -v b="$sidle" 'BEGIN { printf "%.1f", a - b }') session_idle=$sidle" \
        "own=$(awk -v c0="$cpu0" -v c1="$cpu1" -v hz="$hz" -v t0="$t2" -v t1="$t3" 'BEGIN { printf "%.1f", 1000*(c1-c0)/hz/(t1-t0) }')" \
        "rss=$rss1 handles=${handles:-?} alert=${alert:-?} path=$exe"
}

# Both states of every exe, each case of the earlier exe right after this one's.
# VARDION_FOOTPRINT_STATES names fewer ("rest" alone, say) for a longer span.
measure_all() {  # processes label
    local state
    for state in ${VARDION_FOOTPRINT_STATES:-blinking rest}; do
        measure "$state" "$1" this "$exe"
        [ -z "$earlier" ] || measure "$state" "$1" earlier "$earlier"
    done
}

[ -n "${1:-}" ] || windows_arch_line
while read -r arch build <&3; do
    echo "# == $arch ($build)"
    windows_build "$arch" "$build" Vardion footprint_wine desktop_keeper sleeper
    (
        windows_session "$build"
        top=$(cd "$build" && pwd)
        exe=$top/Vardion.exe
        earlier=${3:-}
        if [ -n "$earlier" ] && [ -d "$earlier" ]; then
            earlier=$earlier/$(basename "$build")/Vardion.exe
        fi
        if [ -n "$earlier" ]; then
            [ -f "$earlier" ] || { echo "no exe at $earlier" >&2; exit 1; }
            earlier=$(cd "$(dirname "$earlier")" && pwd)/$(basename "$earlier")
        fi

        sleep 10  # past the start-up of the session's own services
        measure_all system

        # VARDION_FOOTPRINT_EXTRA=0 measures the system's processes alone.
        [ "${VARDION_FOOTPRINT_EXTRA:-1}" != 0 ] || exit 0
        # The extra processes run until the session ends.
        for _ in $(seq 100); do
            setsid bash "$session" run "$build" "$build/sleeper.exe" >/dev/null 2>&1 </dev/null &
        done
        sleep 10  # past their start-up
        measure_all "100-extra"
    )
done 3< <(windows_targets "${1:-}")
