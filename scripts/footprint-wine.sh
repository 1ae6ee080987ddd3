#!/usr/bin/env bash
# Runs Vardion.exe under Wine for a span of ticks (60 s unless given) and prints
# its footprint measured from outside: CPU per second of wall time, working
# set, and the count of kernel handles at the end; and what it costs the whole
# machine: the CPU time of all its processes with Vardion running, minus the
# same without it, in one-second slots taken by turns (Vardion held stopped
# in every other one), as many seconds of each as given. In two states: with the
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
# the machine leaves out; own: Vardion's own CPU in ms per second; with
# VARDION_FOOTPRINT_FLOOR=1, floor_own and own_ratio after it (see
# measure_all); rss: its resident memory in KiB at the end; handles: its
# kernel handles at the end; alert: whether the alert showed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${2:-60}
source scripts/windows-build.sh
session=scripts/wine-session.sh
hz=$(getconf CLK_TCK)
declare -A sum

# The readings at the edges of a slot are made by the shell itself, without
# starting a program, so that they cost the same in every slot.
#   slot_read: sets `mark` to "microseconds machine-ticks vardion-ns session-ticks
#              beside-ns"
# machine-ticks: the CPU time of every process on the machine, kernel
# threads included, and that of the children they have waited for (so that
# a process that ended meanwhile still counts). /proc/stat is not used: it
# counts a core busy when the kernel's timer finds it so, and a timer ten
# times a second stays in step with that one, so a short burst on every tick
# is found either every time or never. A process's own time is kept exactly.
# vardion-ns: Vardion's own time, to the nanosecond (the kernel keeps each
# thread's exactly, where a process's ticks are rounded to 10 ms at each
# reading); session-ticks: that of every process
# of the build's Wine session (its wine server, desktop, services and
# programs, Vardion included) and of its Xvfb, which do the work of
# Vardion's calls and leave out the load of anything else on the machine.
# beside-ns: the time of the floor run beside Vardion, if one is.
stat_ticks() {  # /proc/<id>/stat: user + system ticks in `ticks`, and of waited children in `children`
    local line fields
    ticks=0 children=0
    { read -r line <"$1"; } 2>/dev/null || return 0
    # The fields after the command name, which may hold spaces.
    read -ra fields <<<"${line##*) }"
    ticks=$((fields[11] + fields[12]))
    children=$((fields[13] + fields[14]))
}
runtime_ns() {  # the CPU time of a process's threads, to the nanosecond, in `runtime`
    local task first
    runtime=0
    for task in /proc/"$1"/task/*/schedstat; do
        { read -r first _ <"$task"; } 2>/dev/null || continue
        runtime=$((runtime + first))
    done
}
slot_read() {
    local f p machine=0 session_sum=0 own
    for f in /proc/[0-9]*/stat; do
        stat_ticks "$f"
        machine=$((machine + ticks + children))
    done
    for p in "${session_pids[@]}"; do
        stat_ticks /proc/"$p"/stat
        session_sum=$((session_sum + ticks))
    done
    runtime_ns "$pid"
    own=$runtime
    runtime=0
    [ -z "${beside:-}" ] || runtime_ns "$beside"
    # Microseconds since the epoch, without the decimal point.
    mark="${EPOCHREALTIME//[!0-9]/} $machine $own $session_sum $runtime"
}
# The processes of the build's Wine session, and its Xvfb.
find_session_pids() {
    local prefix=$top/wine/prefix
    mapfile -t session_pids < <(
        {
            { grep -lzx "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null || true; } | cut -d/ -f3
            cat "$top/wine/xvfb.pid" 2>/dev/null || true
        } | sort -u
    )
}
read_proc() {  # resident KiB, open descriptors
    local rss fds
    rss=$(awk '/^VmRSS/ {print $2}' /proc/"$pid"/status)
    fds=$(ls /proc/"$pid"/fd | wc -l)
    echo "$rss $fds"
}

# The span is cut into slots of one second, and Vardion is held stopped
# (SIGSTOP) in every other one: the slots without it measure the machine as
# it is then, and the load of other work, which drifts over a minute, falls
# into both kinds alike. The order alternates round by round (without-with,
# with-without), so that a steady drift cancels too. After each stop or
# start a fifth of a second goes unmeasured, for the work still under way
# in the wine server, the desktop and X from before.
interleave() {  # rounds; sums in `sum`: <kind>_t (microseconds), <kind>_machine, <kind>_own, <kind>_session, <kind>_beside
    local round kind a b orders=("off on" "on off")
    sum=()
    for ((round = 0; round < $1; ++round)); do
        for kind in ${orders[round % 2]}; do
            # Vardion may be gone if something ended it early; its figures stop growing then.
            if [ "$kind" = on ]; then
                kill -CONT "$pid" 2>/dev/null || true
            else
                kill -STOP "$pid" 2>/dev/null || true
            fi
            sleep 0.2
            slot_read
            a=($mark)
            sleep 1
            slot_read
            b=($mark)
            sum[${kind}_t]=$((${sum[${kind}_t]:-0} + b[0] - a[0]))
            sum[${kind}_machine]=$((${sum[${kind}_machine]:-0} + b[1] - a[1]))
            sum[${kind}_own]=$((${sum[${kind}_own]:-0} + b[2] - a[2]))
            sum[${kind}_session]=$((${sum[${kind}_session]:-0} + b[3] - a[3]))
            sum[${kind}_beside]=$((${sum[${kind}_beside]:-0} + b[4] - a[4]))
        done
    done
    kill -CONT "$pid" 2>/dev/null || true
}
percent() {  # busy ticks, microseconds: percent of one core
    awk -v b="$1" -v t="$2" -v hz="$hz" 'BEGIN { printf "%.1f", 100 * b / hz / (t / 1e6) }'
}
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }

measure() {  # state (blinking, rest or bare), processes (label), exe label, exe, [its arguments]
    local state=$1 processes=$2 label=$3 exe=$4 arguments=${5:-}
    echo "== $label exe, $state, $processes processes: $exe $arguments"
    local rss0 rss1 fd0 fd1 runner log
    log=$build/wine/footprint.log
    # The floor beside Vardion, in the same span: what the load of the
    # machine does to the one it does to the other (see measure_all). It
    # starts first, so that Vardion finds it running and announces it with
    # the rest; it is ended once the span is over.
    local beside_runner="" beside_log=$build/wine/footprint-floor.log
    beside=""
    if [ "${VARDION_FOOTPRINT_FLOOR:-0}" != 0 ] && [ "$state" != bare ]; then
        # VARDION_FOOTPRINT_FLOOR=thread: the floor that has started a thread.
        local floor_arguments=""
        [ "$VARDION_FOOTPRINT_FLOOR" != thread ] || floor_arguments=thread
        # shellcheck disable=SC2086  # no argument, or one word
        bash "$session" run "$build" "$build/footprint_wine.exe" "Z:$floor" \
            $((5 * seconds / 2 + 60)) bare $floor_arguments >"$beside_log" 2>&1 &
        beside_runner=$!
        for _ in $(seq 1200); do
            grep -q '^measuring' "$beside_log" && break
            sleep 0.05
        done
        beside=$(pgrep -fx "Z:$floor${floor_arguments:+ $floor_arguments}" | head -n 1 || true)
        [ -n "$beside" ] || { echo "the floor did not start beside Vardion" >&2; exit 1; }
    fi
    # footprint_wine keeps Vardion in its state past the whole interleaved
    # span: two slots of 1.2 s a round, and the readings.
    # shellcheck disable=SC2086  # the arguments are words of their own
    bash "$session" run "$build" "$build/footprint_wine.exe" "Z:$exe" $((5 * seconds / 2 + 3)) "$state" \
        $arguments >"$log" 2>&1 &
    runner=$!
    pid=""
    for _ in $(seq 200); do
        pid=$(pgrep -fx "Z:$exe${arguments:+ $arguments}" | head -n 1 || true)
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
    find_session_pids
    read -r rss0 fd0 <<<"$(read_proc)"
    interleave "$seconds"
    read -r rss1 fd1 <<<"$(read_proc)"
    local floor_own="" ratio=""
    if [ -n "$beside" ]; then
        # Over the slots in which Vardion ran too.
        floor_own=$(awk -v c="${sum[on_beside]}" -v t="${sum[on_t]}" 'BEGIN { printf "%.1f", c / t }')
        kill "$beside" 2>/dev/null || true
        wait "$beside_runner" || true
        beside=""
    fi
    # Vardion goes on until footprint_wine's span ends and it is ended.
    wait "$runner" || true

    tr -d '\r' <"$log" | grep -v '^result ' | grep -v '^CPU'
    local own without with sidle swith handles alert
    own=$(awk -v c="${sum[on_own]}" -v t="${sum[on_t]}" 'BEGIN { printf "%.1f", c / t }')
    without=$(percent "${sum[off_machine]}" "${sum[off_t]}")
    with=$(percent "${sum[on_machine]}" "${sum[on_t]}")
    sidle=$(percent "${sum[off_session]}" "${sum[off_t]}")
    swith=$(percent "${sum[on_session]}" "${sum[on_t]}")
    echo "From /proc of the Wine process (pid $pid), over $((sum[on_t] / 1000000)) s running:"
    echo "  CPU $own ms per second of wall time"
    echo "  resident memory ${rss0} KiB at start, ${rss1} KiB at the end"
    echo "  open descriptors ${fd0} at start, ${fd1} at the end"
    echo "The whole machine (the CPU time of all its processes, the wine server and the desktop included):"
    echo "  ${without} % of a core without Vardion, ${with} % with it:" \
        "Vardion costs $(minus "$with" "$without") % of a core"
    echo "The Wine session alone (its processes and its Xvfb, read from /proc):"
    echo "  ${sidle} % of a core without Vardion, ${swith} % with it"
    handles=$(tr -d '\r' <"$log" | sed -n 's/^result handles=//p')
    alert=$(tr -d '\r' <"$log" | sed -n 's/^alert at the end: //p')
    local beside_fields=""
    if [ -n "$floor_own" ]; then
        ratio=$(awk -v a="$own" -v b="$floor_own" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "?" }')
        echo "The floor, run beside it: CPU $floor_own ms per second while Vardion ran;" \
            "Vardion's own is $ratio times that"
        beside_fields=" floor_own=$floor_own own_ratio=$ratio"
    fi
    echo "footprint build=$arch state=$state processes=$processes exe=$label${arguments:+ arguments=${arguments// /,}}" \
        "machine=$(minus "$with" "$without") idle=$without" \
        "session=$(minus "$swith" "$sidle") session_idle=$sidle own=$own$beside_fields" \
        "rss=$rss1 handles=${handles:-?} alert=${alert:-?} path=$exe"
}

# Both states of every exe, each case of the earlier exe right after this one's.
# VARDION_FOOTPRINT_STATES names fewer ("rest" alone, say) for a longer span.
# VARDION_FOOTPRINT_FLOOR=1 measures the floor too (state=bare exe=floor):
# snapshot_floor.exe, which only takes the process snapshot ten times a
# second, what any watcher that looks that often pays on this system. The
# floor then also runs beside each measured exe, through its span, and
# that exe's line gives the floor's own CPU in the same slots (floor_own,
# ms a second) and the exe's own CPU in times that (own_ratio): measured one
# after the other, the two move by a fifth or more with the load of the
# machine, and side by side they move together; with
# VARDION_FOOTPRINT_FLOOR=thread, the floor beside it is the one that has
# started and ended a thread, as Vardion has. The floor is also measured
# after it has started and ended a thread (arguments=thread), as Vardion
# does to read known.dat: under Debian 13's 32-bit Wine that alone makes a
# process's system calls dearer (see snapshot_floor.cpp).
measure_all() {  # processes label
    local state
    for state in ${VARDION_FOOTPRINT_STATES:-blinking rest}; do
        measure "$state" "$1" this "$exe"
        [ -z "$earlier" ] || measure "$state" "$1" earlier "$earlier"
    done
    if [ "${VARDION_FOOTPRINT_FLOOR:-0}" != 0 ]; then
        measure bare "$1" floor "$floor"
        # The floor that has started and ended a thread, as Vardion has.
        measure bare "$1" floor "$floor" thread
    fi
    # VARDION_FOOTPRINT_STAMP=1: the look at known.dat's stamp from a thread of
    # its own (stamp_thread.exe), ten times a second with the file there and
    # missing, twice a second, and on the folder's change notifications.
    local way
    if [ "${VARDION_FOOTPRINT_STAMP:-0}" != 0 ]; then
        for way in "100" "100 missing" "500" "notify"; do
            measure bare "$1" stamp "$top/stamp_thread.exe" "$way"
        done
    fi
}

[ -n "${1:-}" ] || windows_arch_line
while read -r arch build <&3; do
    echo "# == $arch ($build)"
    scripts/install-deps.sh
    windows_build "$arch" "$build" Vardion footprint_wine snapshot_floor stamp_thread desktop_keeper \
        sleeper >/dev/null
    (
        windows_session "$build"
        top=$(cd "$build" && pwd)
        exe=$top/Vardion.exe
        floor=$top/snapshot_floor.exe
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
