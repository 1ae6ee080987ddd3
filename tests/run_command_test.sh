#!/usr/bin/env bash
# The run command as a user meets it: `scripts/run.sh` returns to its caller
# even when its output goes into a pipe, and `scripts/run.sh stop` ends
# Vardion as Windows ends a session, which leaves a list with nothing unsaved
# as it was, byte for byte.
# Uses the build that the run command picks (build-win where 32-bit code runs,
# build-win64 where it does not, or with VARDION_RUN_32BIT=0) and its Wine
# session, like the run command itself; a known.dat already in its run folder
# is put back afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh
build=$(windows_build_dir "$(windows_arches | cut -d' ' -f1)")
list=$build/run/known.dat
mkdir -p "$build"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

kept=""
if [ -e "$list" ]; then
    kept=$(mktemp)
    mv "$list" "$kept"
fi
restore() {
    bash scripts/run.sh stop >/dev/null 2>&1 || true
    if [ -n "$kept" ]; then mv "$kept" "$list"; else rm -f "$list"; fi
}
trap restore EXIT

# A list of one entry, as a user's hand or an earlier run left it.
mkdir -p "$build/run"
printf '%s\r\n' '\Device\HarddiskVolume9\seed\seed.exe' >"$list"
seed=$(od -An -tx1 "$list")

# On a virtual display whatever the caller's: the test shows nothing. timeout
# ends the pipeline's shell if something still holds the pipe, which is the
# fault this looks for.
start=$SECONDS
env -u DISPLAY timeout 300 bash -c 'bash scripts/run.sh | cat' >"$build/run-command.log" 2>&1 ||
    { tail -n 20 "$build/run-command.log" >&2; fail "scripts/run.sh | cat did not return"; }
echo "scripts/run.sh | cat returned after $((SECONDS - start)) s"
said=$(grep -m1 -E 'running the (32|64)-bit Vardion.exe' "$build/run-command.log") ||
    fail "scripts/run.sh did not say which build it runs"
case $said in *"($build)"*) echo "$said" ;; *) fail "scripts/run.sh ran another build: $said" ;; esac

# Vardion has read its list and shows its window before it is ended.
timeout 60 bash scripts/wine-session.sh run "$build" "$build/window_driver.exe" front Vardion 30 \
    >/dev/null || fail "Vardion's window did not come up"
[ "$(od -An -tx1 "$list")" = "$seed" ] || fail "known.dat changed while Vardion ran"

bash scripts/run.sh stop || fail "scripts/run.sh stop failed"
[ "$(od -An -tx1 "$list")" = "$seed" ] || fail "scripts/run.sh stop changed known.dat"
echo "scripts/run.sh stop: the session ended, known.dat as it was"
