#!/usr/bin/env bash
# Runs Vardion.exe under Wine for a span of ticks (60 s unless given) and prints
# its footprint measured from outside: CPU per second of wall time, working
# set, and the count of kernel handles at the start and at the end; and what it
# costs the whole machine: the busy time of all cores with it running, minus
# the same over a span of the same length just before, without it. Both with
# the system's own processes and with 100 extra small processes.
#
#   scripts/footprint-wine.sh [build-dir] [seconds] [exe]
# Without a build folder (or with an empty one, ""), the 32-bit and the 64-bit
# build are measured one after the other where this machine runs both, else
# the 64-bit one. With an exe (a Linux path), that program is measured instead
# of the build's own Vardion.exe: an earlier version, say, to compare with
# this one.
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
percent() {  # busy ticks, from, to: percent of one core
    awk -v b="$1" -v t0="$2" -v t1="$3" -v hz="$hz" 'BEGIN { printf "%.1f", 100 * b / hz / (t1 - t0) }'
}

measure() {
    echo "== $1"
    local b0 b1 b2 b3 t0 t1 t2 t3 cpu0 cpu1 rss0 rss1 fd0 fd1 runner without with
    b0=$(busy) t0=$(now)
    sleep "$seconds"
    b1=$(busy) t1=$(now)

    # Wine answers the Windows counters for another process with zeros where it
    # keeps no account; the Linux side of the same process is read from /proc too.
    bash "$session" run "$build" "$build/footprint_wine.exe" "Z:$exe" "$seconds" \
        >"$build/wine/footprint.log" 2>&1 &
    runner=$!
    pid=""
    for _ in $(seq 200); do
        pid=$(pgrep -fx "Z:$exe" | head -n 1 || true)
        [ -n "$pid" ] && break
        sleep 0.05
    done
    [ -n "$pid" ] || { echo "Vardion.exe did not start" >&2; exit 1; }
    sleep 2  # past start-up and the first alert, as footprint_wine waits
    read -r cpu0 rss0 fd0 <<<"$(read_proc)"
    b2=$(busy) t2=$(now)
    sleep "$seconds"
    read -r cpu1 rss1 fd1 <<<"$(read_proc)"
    b3=$(busy) t3=$(now)
    wait "$runner" || true

    tr -d '\r' <"$build/wine/footprint.log"
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
}

[ -n "${1:-}" ] || windows_arch_line
while read -r arch build <&3; do
    echo "# == $arch ($build)"
    windows_build "$arch" "$build" Vardion footprint_wine desktop_keeper sleeper
    (
        windows_session "$build"
        top=$(cd "$build" && pwd)
        exe=${3:-$top/Vardion.exe}
        exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")

        sleep 10  # past the start-up of the session's own services
        measure "The system's own processes"

        # The extra processes run until the session ends.
        for _ in $(seq 100); do
            setsid bash "$session" run "$build" "$build/sleeper.exe" >/dev/null 2>&1 </dev/null &
        done
        sleep 10  # past their start-up
        measure "With 100 extra processes"
    )
done 3< <(windows_targets "${1:-}")
