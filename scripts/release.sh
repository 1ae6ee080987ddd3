#!/usr/bin/env bash
# Builds the release into dist/: for each of the two builds, 32-bit (build-win)
# and 64-bit (build-win64), its Vardion.exe, stripped and the same bytes from
# every build of one commit, and the zip for Windows users that CPack makes of
# it with a README.txt:
#
#   dist/Vardion-<version>-win32.zip   dist/win32/Vardion.exe
#   dist/Vardion-<version>-win64.zip   dist/win64/Vardion.exe
#
# These are the same build folders whose Vardion.exe the Windows tests run
# against. Prints both exes' sizes and the SHA-256 of every file in dist/.
# Builds only; runs nothing under Wine, so it works on any machine. Installs
# whatever is missing first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh

scripts/install-deps.sh
rm -rf dist
mkdir dist
for arch in win32 win64; do
    build=$(windows_build_dir "$arch")
    objdump=i686-w64-mingw32-objdump
    [ "$arch" = win64 ] && objdump=x86_64-w64-mingw32-objdump
    windows_build "$arch" "$build" Vardion >/dev/null

    exe=$build/Vardion.exe
    # A debug section would mean the release flags were lost.
    if "$objdump" -h "$exe" | grep -q '\.debug'; then
        echo "$exe has debug sections: it is not the stripped release" >&2
        exit 1
    fi

    # A zip left by an earlier version must not be taken for this one.
    rm -f "$build"/Vardion-*-"$arch".zip
    (cd "$build" && cpack -G ZIP >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
    zips=("$build"/Vardion-*-"$arch".zip)
    [ -f "${zips[0]}" ] || { echo "CPack made no zip in $build" >&2; exit 1; }

    mkdir "dist/$arch"
    cp "$exe" "dist/$arch/"
    cp "${zips[0]}" dist/
    size=$(stat -c %s "dist/$arch/Vardion.exe")
    echo "dist/$arch/Vardion.exe: $size bytes ($((size / 1024)) KiB), no debug section"
    echo "dist/${zips[0]##*/}: $(cmake -E tar tf "${zips[0]}" | paste -sd ' ')"
done
(cd dist && find . -type f | sed 's|^\./||' | sort | xargs sha256sum)
