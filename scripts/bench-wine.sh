#!/usr/bin/env bash
# Builds the Windows build and prints the cost of one tick under Wine beside
# its floor (the platform calls alone), at the system's own process count and
# with 100 extra processes, for trusted lists of 10, 1,000 and 10,000 entries;
# then lists of 100,000 lines and of 50 MB read from known.dat (with the times
# of loading and saving them), and 100 processes whose names hold spaces,
# code-page letters and 250 characters; then the most memory (private bytes)
# Vardion.exe itself holds with lists of a million lines, at both bounds and
# past them, one `memory:` line each. Every `tick:` line ends with the
# build that ran it and the version of the Wine that did: arch=win32 wine=8.0.
# Each build runs under the machine's own Wine and then under Debian 13's
# Wine 10 (in the root of scripts/debian13-root.sh, made first if need be),
# or under the one Wine named by VARDION_WINE (own or 10).
# Under Wine every handle call is a round trip to the wine server, so the
# absolute times overstate a Windows machine: compare the ratios.
#
#   scripts/bench-wine.sh [build-dir]   (default: the 32-bit and the 64-bit
#                                        build where this machine runs both,
#                                        else the 64-bit one)
# VARDION_BENCH=tick or =memory runs the one part alone.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh
session=scripts/wine-session.sh
[ -n "${1:-}" ] || windows_arch_line
wines=${VARDION_WINE:-$(windows_wines)}
while read -r arch build <&3; do
    scripts/install-deps.sh
    windows_build "$arch" "$build" tick_wine memory_wine Vardion sleeper desktop_keeper >/dev/null
    for wine in $wines; do
        (
            export VARDION_WINE=$wine
            windows_session "$build"
            VARDION_WINE_VERSION=$(windows_wine_version "$wine")
            export VARDION_WINE_VERSION
            echo "# == $arch ($build) under Wine $VARDION_WINE_VERSION"
            top=$(cd "$build" && pwd)
            if [ "${VARDION_BENCH:-tick}" = tick ] || [ -z "${VARDION_BENCH:-}" ]; then
                bash "$session" run "$build" "$build/tick_wine.exe" "Z:$top/sleeper.exe" |
                    tr -d '\r'
            fi
            if [ "${VARDION_BENCH:-memory}" = memory ]; then
                bash "$session" run "$build" "$build/memory_wine.exe" "Z:$top/Vardion.exe" \
                    "Z:$top/sleeper.exe" | tr -d '\r'
            fi
        )
    done
done 3< <(windows_targets "${1:-}")
