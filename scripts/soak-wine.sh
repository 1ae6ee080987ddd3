#!/usr/bin/env bash
# Soaks Vardion.exe under Wine (600 s unless given): a driver starts and ends
# small programs under many names meanwhile, then checks that each is listed
# once, that the program still answers, and that Exit writes known.dat whole.
# The Windows suite (scripts/windows-suite.sh) runs a 20-second version of it.
# VARDION_WINE=10 soaks it under Debian 13's Wine 10 (scripts/debian13-root.sh).
#
#   scripts/soak-wine.sh [build-dir] [seconds]   (default: the 64-bit build
#                                                  where 32-bit code cannot run)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${2:-600}
source scripts/windows-build.sh
session=scripts/wine-session.sh
if [ -n "${1:-}" ]; then
    read -r arch build < <(windows_targets "$1")
else
    arch=$(windows_arches | cut -d' ' -f1)
    build=$(windows_build_dir "$arch")
fi
echo "Soak of the $arch build in $build"
scripts/install-deps.sh
windows_build "$arch" "$build" soak Vardion sleeper desktop_keeper >/dev/null
windows_session "$build"
bash "$session" run "$build" "$build/soak.exe" "$seconds" | tr -d '\r'
