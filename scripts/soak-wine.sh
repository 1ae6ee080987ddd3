#!/usr/bin/env bash
# Soaks Vardion.exe under Wine (600 s unless given): a driver starts and ends
# small programs under many names meanwhile, then checks that each is listed
# once, that the program still answers, and that Exit writes known.dat whole.
# CI runs a 20-second version of it as the ctest soak_short.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
seconds=${2:-600}
source scripts/windows-build.sh
windows_build "$build" soak Vardion sleeper desktop_keeper
session=scripts/wine-session.sh
windows_session "$build"
top=$(cd "$build" && pwd)
bash "$session" run "$build" "$build/soak.exe" "Z:$top/Vardion.exe" "Z:$top/sleeper.exe" "$seconds" |
    tr -d '\r'
