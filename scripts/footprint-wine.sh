#!/usr/bin/env bash
# Runs Vardion.exe under Wine for a span of ticks (60 s unless given) and prints
# its footprint measured from outside: CPU per second of wall time, working
# set, and the count of kernel handles at the start and at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
seconds=${2:-60}
source scripts/windows-build.sh
windows_build "$build" Vardion footprint_wine desktop_keeper
session=scripts/wine-session.sh
windows_session "$build"
# Wine answers the Windows counters for another process with zeros where it
# keeps no account; the Linux side of the same process is read from /proc too.
bash "$session" run "$build" "$build/footprint_wine.exe" "Z:$(cd "$build" && pwd)/Vardion.exe" \
    "$seconds" >"$build/wine/footprint.log" 2>&1 &
runner=$!
pid=""
for _ in $(seq 200); do
    pid=$(pgrep -f '^[A-Za-z]:.*Vardion\.exe$' | head -n 1 || true)
    [ -n "$pid" ] && break
    sleep 0.05
done
[ -n "$pid" ] || { echo "Vardion.exe did not start" >&2; exit 1; }
sleep 2
read_proc() {  # cpu ticks, resident KiB, open descriptors
    local stat rss fds
    stat=$(awk '{print $14 + $15}' /proc/"$pid"/stat)
    rss=$(awk '/^VmRSS/ {print $2}' /proc/"$pid"/status)
    fds=$(ls /proc/"$pid"/fd | wc -l)
    echo "$stat $rss $fds"
}
read -r cpu0 rss0 fd0 <<<"$(read_proc)"
t0=$(date +%s.%N)
sleep "$seconds"
read -r cpu1 rss1 fd1 <<<"$(read_proc)"
t1=$(date +%s.%N)
hz=$(getconf CLK_TCK)
wait "$runner" || true
tr -d '\r' <"$build/wine/footprint.log"
echo "From /proc of the Wine process (pid $pid):"
awk -v c0="$cpu0" -v c1="$cpu1" -v hz="$hz" -v t0="$t0" -v t1="$t1" \
    'BEGIN { printf "  CPU %.2f s over %.1f s: %.1f ms per second of wall time\n", (c1-c0)/hz, t1-t0, 1000*(c1-c0)/hz/(t1-t0) }'
echo "  resident memory ${rss0} KiB at start, ${rss1} KiB at the end"
echo "  open descriptors ${fd0} at start, ${fd1} at the end"
