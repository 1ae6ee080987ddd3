#!/usr/bin/env bash
# Builds the Windows build and prints the cost of one tick under Wine beside
# its floor (the platform calls alone), at the system's own process count and
# with 100 extra processes, for trusted lists of 10, 1,000 and 10,000 entries;
# then lists of 100,000 lines and of 50 MB read from known.dat (with the times
# of loading and saving them), and 100 processes whose names hold spaces,
# code-page letters and 250 characters.
# Under Wine every handle call is a round trip to the wine server, so the
# absolute times overstate a Windows machine: compare the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
source scripts/windows-build.sh
windows_build "$build" tick_wine sleeper desktop_keeper
session=scripts/wine-session.sh
windows_session "$build"
bash "$session" run "$build" "$build/tick_wine.exe" "Z:$(cd "$build" && pwd)/sleeper.exe" | tr -d '\r'
