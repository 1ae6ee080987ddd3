#!/usr/bin/env bash
# Builds every build of Vardion and runs every test: the host tests, the host
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, fuzzing,
# both Windows builds (32-bit in build-win, 64-bit in build-win64), the release
# of both (reproducible from another path), and for each Windows build that
# this machine can run, the run command and the Windows tests under Wine.
# Where the kernel runs no 32-bit code (or with VARDION_RUN_32BIT=0), only the
# 64-bit build runs under Wine, and the 32-bit one is checked without running
# it. Then the Windows tests of the same builds run again under Debian 13's
# Wine 10, in a Debian 13 root made on the first run and kept
# (scripts/debian13-root.sh), unless the machine's own Wine is 10 already.
# Installs whatever is missing first (Debian 12 or 13).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
started=$SECONDS
summary=()
# Adds one line to the summary printed at the end.
note() { summary+=("$*"); }

scripts/install-deps.sh
source scripts/windows-build.sh

echo "== Host build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs" | tee build/ctest.log

echo "== Host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVARDION_SANITIZE=ON -DVARDION_BENCHMARKS=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" | tee build-asan/ctest.log

echo "== Fuzzing the reader of known.dat (${VARDION_FUZZ_SECONDS:=60} s)"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDION_FUZZ=ON \
    -DVARDION_BENCHMARKS=OFF
cmake --build build-fuzz -j"$jobs" --target known_fuzz
rm -rf build-fuzz/corpus && mkdir -p build-fuzz/corpus
build-fuzz/tests/fuzz/known_fuzz -max_total_time="$VARDION_FUZZ_SECONDS" -max_len=65536 \
    -print_final_stats=1 build-fuzz/corpus tests/fuzz/corpus 2>build-fuzz/fuzz.log ||
    { tail -n 40 build-fuzz/fuzz.log; exit 1; }
units=$(grep -E '^stat::number_of_executed_units' build-fuzz/fuzz.log | grep -oE '[0-9]+$')
echo "fuzzing: $units units"

# How many tests the ctest run of a build folder passed (its log: ctest.log,
# or the one named).
passed() { grep -oE 'out of [0-9]+' "$1/${2:-ctest.log}" | tail -n 1 | cut -d' ' -f3; }
# The GoogleTest programs that passed in the last ctest run of a build folder,
# and their cases: "<programs> <cases>".
cases() {
    grep -hoE '\[  PASSED  \] [0-9]+ tests?\.' "$1/Testing/Temporary/LastTest.log" |
        awk '{ p++; n += $4 } END { print p + 0, n + 0 }'
}
note "host: $(passed build) tests passed, and $(passed build-asan) under ASan+UBSan;" \
    "fuzzing ran $units units"

if [ -f cmake/Windows.cmake ]; then
    echo "== $(windows_arch_line)"
    arches=$(windows_arches)
    own_wine=$(windows_wine_version own)

    for arch in win32 win64; do
        build=$(windows_build_dir "$arch")
        echo "== Windows build: $arch in $build"
        windows_build "$arch" "$build"
    done

    echo "== Release: both stripped exes and their zips, the same bytes from a second build elsewhere"
    bash scripts/reproducible.sh
    note "release: both exes and both zips, the same bytes from a second build elsewhere"

    for arch in $arches; do
        build=$(windows_build_dir "$arch")
        bits=32
        [ "$arch" = win64 ] && bits=64
        step=$SECONDS

        echo "== Run command with the $arch build: returns through a pipe; stop ends the session and keeps known.dat"
        # The run command picks the 32-bit build wherever it can; 0 makes it take the 64-bit one.
        VARDION_RUN_32BIT=$([ "$arch" = win32 ] && echo 1 || echo 0) bash tests/run_command_test.sh

        echo "== Windows tests of the $arch build under Wine, against the same Vardion.exe"
        ctest --test-dir "$build" --output-on-failure | tee "$build/ctest.log"
        read -r programs count < <(cases "$build")
        note "$arch under the machine's own Wine $own_wine: the run command and" \
            "$(passed "$build") ctest tests passed, among them $programs GoogleTest programs" \
            "($count cases) and the soak under the $bits-bit Wine loader, in $((SECONDS - step)) s"
    done

    if [ "$(windows_wines)" = own ]; then
        note "Wine 10: the machine's own Wine is $own_wine already, which ran the tests" \
            "above; no Debian 13 root is made"
    else
        echo "== A Debian 13 root with Debian 13's Wine, made once and kept"
        step=$SECONDS
        made=kept
        [ -e "$(bash scripts/debian13-root.sh path)/.vardion-ready" ] || made=made
        root=$(bash scripts/debian13-root.sh make)
        wine10=$(windows_wine_version 10)
        note "Debian 13 root: $root, $made in $((SECONDS - step)) s, with Wine $wine10"
        for arch in $arches; do
            build=$(windows_build_dir "$arch")
            bits=32
            [ "$arch" = win64 ] && bits=64
            step=$SECONDS
            echo "== Windows tests of the $arch build under Debian 13's Wine $wine10"
            VARDION_WINE=10 ctest --test-dir "$build" --output-on-failure |
                tee "$build/ctest-wine10.log"
            read -r programs count < <(cases "$build")
            note "$arch under Debian 13's Wine $wine10: $(passed "$build" ctest-wine10.log)" \
                "ctest tests passed, among them $programs GoogleTest programs ($count cases)" \
                "and the soak under the $bits-bit Wine loader, in $((SECONDS - step)) s"
        done
    fi

    if [[ " $arches " != *" win32 "* ]]; then
        echo "== The 32-bit build, checked without running it"
        # PE32, and (in the resources test) of the windows subsystem, with
        # system DLLs only and its resources as designed, read as data by the
        # 64-bit resources test.
        [ "$(windows_pe_bits build-win/Vardion.exe)" = 32 ] ||
            { echo "build-win/Vardion.exe is not PE32" >&2; exit 1; }
        exe=$(cd build-win && pwd)/Vardion.exe
        bash scripts/wine-session.sh start build-win64
        trap 'bash scripts/wine-session.sh stop build-win64 >/dev/null' EXIT
        VARDION_RESOURCES_EXE="Z:$exe" bash scripts/wine-session.sh run build-win64 \
            build-win64/resources_test.exe | tr -d '\r' | tee build-win64/resources-win32.log
        grep -qE '^\[  PASSED  \] [1-9][0-9]* tests?\.' build-win64/resources-win32.log ||
            { echo "the resources of the 32-bit exe were not all read" >&2; exit 1; }
        bash scripts/wine-session.sh stop build-win64
        trap - EXIT
        note "win32: not run here; PE32 of the GUI subsystem with system DLLs only," \
            "its resources pass the 64-bit resources test, the same bytes from a second build"
    fi
fi

echo "== Summary"
printf '%s\n' "${summary[@]}"
echo "all passed in $((SECONDS - started)) s"
