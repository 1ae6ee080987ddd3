#!/usr/bin/env bash
# Installs, on Debian 12 or 13, every package that building and testing
# Vardion needs. Does nothing when they are all there already.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang clang-format  # and the runtime of its version (below)
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # The 64-bit loader runs the 64-bit build, also where no 32-bit code runs;
    # wine32 installs there too, it only cannot run.
    wine wine32:i386 wine64 fonts-wine
    xvfb xauth x11-utils xdotool imagemagick
    e2fsprogs  # chattr: a working directory the program cannot write to
    locales    # the sources localedef makes ja_JP.UTF-8 from: Wine in code page 932
)

# shellcheck source=scripts/as-root.sh
source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" = "install ok installed" ]
}

updated=no
update() {
    [ "$updated" = yes ] && return 0
    # Wine's 32-bit half comes from the i386 architecture.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    as_root apt-get update -qq
    updated=yes
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done

# The sanitizer and fuzzing runtime of the clang that `clang` is, whose name
# holds its version: libclang-rt-14-dev on Debian 12, libclang-rt-19-dev on
# Debian 13. Where clang is not installed yet, its package says which.
version=$(clang --version 2>/dev/null | grep -oE 'version [0-9]+' | head -n 1 | cut -d' ' -f2 || true)
if [ -z "$version" ]; then
    update
    version=$(apt-cache depends clang 2>/dev/null | grep -oE 'Depends: clang-[0-9]+$' |
        head -n 1 | cut -d- -f2 || true)
fi
[ -n "$version" ] || { echo "cannot tell which clang the package clang installs" >&2; exit 1; }
installed "libclang-rt-$version-dev" || missing+=("libclang-rt-$version-dev")
# Node.js and npm, which install the linter of the workflow files from the npm
# registry: Debian's, unless a Node.js with its own npm is there already.
command -v npm >/dev/null || missing+=(nodejs npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
update
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
