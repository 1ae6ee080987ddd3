#!/usr/bin/env bash
# Builds the Windows build and prints the cost of one tick under Wine beside
# its floor (the platform calls alone), at the system's own process count and
# with 100 extra processes, for trusted lists of 10, 1,000 and 10,000 entries.
# Under Wine every handle call is a round trip to the wine server, so the
# absolute times overstate a Windows machine: compare the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tick_wine sleeper desktop_keeper >/dev/null
session=scripts/wine-session.sh
bash "$session" start "$build" >/dev/null
trap 'bash "$session" stop "$build" >/dev/null' EXIT
bash "$session" run "$build" "$build/tick_wine.exe" "Z:$(cd "$build" && pwd)/sleeper.exe" | tr -d '\r'
