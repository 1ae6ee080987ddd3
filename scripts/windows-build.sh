# Sourced by the scripts that build the Windows builds or run them under Wine.
# There are two builds of one source: win32 (i686, in build-win) and win64
# (x86_64, in build-win64). Where the kernel runs no 32-bit code, 32-bit Wine
# cannot run at all, and only the 64-bit build can be run.
#
#   windows_runs_32bit               true where 32-bit Windows programs can run here
#   windows_arches                   the builds that can run here: "win32 win64" or "win64"
#   windows_arch_line                one line that says which builds run here, and why
#   windows_build_dir <arch>         the build folder of a build: build-win or build-win64
#   windows_targets [build-dir]      "arch dir" lines: the given build, or every build that runs here
#   windows_build <arch> <dir> [target]...   configures the Release build of <arch> in <dir>
#                                    and builds the targets (every one when none is
#                                    named); cmake's build output goes to stdout
#   windows_session <build-dir>      starts the build's Wine session, stopped on exit
#   windows_own_wine                 the version the machine's own Wine reports: wine-8.0 (...)
#   windows_wines                    the Wines the Windows tests run under here: "own 10", or
#                                    "own" where the machine's own Wine is 10 already
#   windows_wine_version [own|10]    the version of one of them: 8.0, 10.0
#   windows_pe_bits <exe>            32 or 64: the PE format of a Windows program
#
# VARDION_RUN_32BIT=0 makes this machine count as one that runs no 32-bit
# code, whatever it can do; 1 counts it as one that does, untried.
#
# Beside the machine's own Wine, the builds also run under Debian 13's Wine 10
# in the root of scripts/debian13-root.sh: VARDION_WINE=10 picks it for the
# Wine session (scripts/wine-session.sh) and what starts one here.

windows_runs_32bit() {
    case ${VARDION_RUN_32BIT:-} in
    0) return 1 ;;
    1) return 0 ;;
    esac
    # The 32-bit Wine loader is an i386 program: the kernel runs it or
    # refuses it ("Exec format error"). Asking the CPU would not tell.
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

windows_arches() {
    if windows_runs_32bit; then echo "win32 win64"; else echo win64; fi
}

windows_arch_line() {
    if windows_runs_32bit; then
        echo "This machine runs 32-bit code: the 32-bit and the 64-bit build run under Wine."
    elif [ "${VARDION_RUN_32BIT:-}" = 0 ]; then
        echo "VARDION_RUN_32BIT=0: as on a machine that runs no 32-bit code, only the" \
            "64-bit build runs under Wine; the 32-bit build is checked without running it."
    else
        echo "This machine runs no 32-bit code (/usr/lib/wine/wine does not start): only" \
            "the 64-bit build runs under Wine; the 32-bit build is checked without running it."
    fi
}

windows_build_dir() {
    if [ "$1" = win64 ]; then echo build-win64; else echo build-win; fi
}

windows_targets() {
    local arch
    if [ -n "${1:-}" ]; then
        # A folder of one's own: the build it was configured as, else the 32-bit one.
        arch=$(cat "$1/vardion-arch" 2>/dev/null || echo win32)
        echo "$arch $1"
        return
    fi
    for arch in $(windows_arches); do
        echo "$arch $(windows_build_dir "$arch")"
    done
}

windows_build() {
    local arch=$1 build=$2 toolchain=cmake/toolchain-i686-w64-mingw32.cmake targets=()
    shift 2
    [ "$arch" = win64 ] && toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"$(nproc)" "${targets[@]}"
}

windows_session() {
    if [ "${VARDION_WINE:-}" = 10 ] && [ "$(windows_wines)" != own ]; then
        bash scripts/debian13-root.sh make >/dev/null
    fi
    bash scripts/wine-session.sh start "$1" >/dev/null
    # shellcheck disable=SC2064  # the build directory is fixed now
    trap "bash scripts/wine-session.sh stop '$1' >/dev/null" EXIT
}

windows_own_wine() {
    /usr/lib/wine/wine64 --version 2>/dev/null || /usr/lib/wine/wine --version 2>/dev/null || true
}

windows_wines() {
    case $(windows_own_wine) in
    wine-10.*) echo own ;;
    *) echo "own 10" ;;
    esac
}

windows_wine_version() {
    local version
    if [ "${1:-own}" = 10 ] && [ "$(windows_wines)" != own ]; then
        version=$(bash "$(dirname "${BASH_SOURCE[0]}")/debian13-root.sh" wine-version)
    else
        version=$(windows_own_wine)
    fi
    version=${version%% *}
    echo "${version#wine-}"
}

windows_pe_bits() {
    # The optional header's magic, 24 bytes after the PE signature: 10b or 20b.
    local offset magic
    offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
    magic=$(od -An -tx2 -j$((offset + 24)) -N2 "$1" 2>/dev/null | tr -d ' ') || return 1
    case $magic in 010b) echo 32 ;; 020b) echo 64 ;; *) return 1 ;; esac
}
