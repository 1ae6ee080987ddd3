#!/usr/bin/env bash
# Builds the release into dist/: Vardion.exe of the Windows build, which is
# stripped and the same bytes from every build of one commit, and the zip for
# Windows users that CPack makes of it with a README.txt. Prints the exe's size
# and the SHA-256 of both. Installs whatever is missing first (Debian 12).
#
#   scripts/release.sh [build-dir]   (default build-win: the build whose
#                                     Vardion.exe the Windows tests run against)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target Vardion >/dev/null

exe=$build/Vardion.exe
# A debug section would mean the release flags were lost.
if i686-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
    echo "$exe has debug sections: it is not the stripped release" >&2
    exit 1
fi

# A zip left by an earlier version must not be taken for this one.
rm -f "$build"/Vardion-*-win32.zip
(cd "$build" && cpack -G ZIP >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
zips=("$build"/Vardion-*-win32.zip)
[ -f "${zips[0]}" ] || { echo "CPack made no zip" >&2; exit 1; }

rm -rf dist
mkdir dist
cp "$exe" "${zips[0]}" dist/
size=$(stat -c %s dist/Vardion.exe)
echo "dist/Vardion.exe: $size bytes ($((size / 1024)) KiB), no debug section"
echo "dist/${zips[0]##*/}: $(cmake -E tar tf "${zips[0]}" | paste -sd ' ')"
(cd dist && sha256sum Vardion.exe "${zips[0]##*/}")
