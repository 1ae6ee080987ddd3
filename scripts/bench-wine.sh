#!/usr/bin/env bash
# Builds the Windows build and prints the cost of one tick under Wine beside
# its floor (the platform calls alone), at the system's own process count and
# with 100 extra processes, for trusted lists of 10, 1,000 and 10,000 entries;
# then lists of 100,000 lines and of 50 MB read from known.dat (with the times
# of loading and saving them), and 100 processes whose names hold spaces,
# code-page letters and 250 characters. Every `tick:` line ends with the
# build that ran it: arch=win32 or arch=win64.
# Under Wine every handle call is a round trip to the wine server, so the
# absolute times overstate a Windows machine: compare the ratios.
#
#   scripts/bench-wine.sh [build-dir]   (default: the 32-bit and the 64-bit
#                                        build where this machine runs both,
#                                        else the 64-bit one)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh
session=scripts/wine-session.sh
[ -n "${1:-}" ] || windows_arch_line
while read -r arch build <&3; do
    echo "# == $arch ($build)"
    windows_build "$arch" "$build" tick_wine sleeper desktop_keeper
    (
        windows_session "$build"
        bash "$session" run "$build" "$build/tick_wine.exe" "Z:$(cd "$build" && pwd)/sleeper.exe" |
            tr -d '\r'
    )
done 3< <(windows_targets "${1:-}")
