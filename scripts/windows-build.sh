# Sourced by the scripts that run something of the Windows build under Wine:
#   windows_build <build-dir> <target>...   installs what is missing, builds the targets
#   windows_session <build-dir>             starts the build's Wine session, stopped on exit
windows_build() {
    local build=$1
    shift
    scripts/install-deps.sh
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null
}

windows_session() {
    bash scripts/wine-session.sh start "$1" >/dev/null
    # shellcheck disable=SC2064  # the build directory is fixed now
    trap "bash scripts/wine-session.sh stop '$1' >/dev/null" EXIT
}
