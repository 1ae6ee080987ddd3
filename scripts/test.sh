#!/usr/bin/env bash
# Builds every build of Vardion and runs every test: the lint of the forge's
# workflow, the host tests, the host tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, fuzzing, both Windows builds (32-bit in
# build-win, 64-bit in build-win64), the release of both (reproducible from
# another path), and for each Windows build that this machine can run, the
# run command and the Windows suite under Wine (scripts/windows-suite.sh, the
# script the workflow runs on Windows), from a copy of the build's exes in a
# folder of their own. Where the kernel runs no 32-bit code (or with
# VARDION_RUN_32BIT=0), only the 64-bit build runs under Wine, and the 32-bit
# one is checked without running it. Then the suite of the same builds runs
# again under Debian 13's Wine 10, in a Debian 13 root made on the first run
# and kept (scripts/debian13-root.sh), unless the machine's own Wine is 10
# already. Installs whatever is missing first (Debian 12 or 13).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
started=$SECONDS
summary=()
# Adds one line to the summary printed at the end.
note() { summary+=("$*"); }

scripts/install-deps.sh
source scripts/windows-build.sh

echo "== The workflow, linted"
mkdir -p build-lint
bash scripts/lint-workflows.sh | tee build-lint/lint.log
note "$(tail -n 1 build-lint/lint.log)"

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
# The Windows suite of a folder of exes, its output kept in the log named; the
# counts it ends with.
suite() {
    local log=$1
    shift
    bash scripts/windows-suite.sh "$@" | tee "$log" >&2 || return 1
    tail -n 1 "$log"
}
# What every suite and the host tests passed and skipped, all told.
total_passed=0 total_skipped=0
tally() {
    local numbers
    read -r -a numbers <<<"${1//[^0-9 ]/}"
    total_passed=$((total_passed + numbers[0])) total_skipped=$((total_skipped + numbers[2]))
}
total_passed=$(($(passed build) + $(passed build-asan)))
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

    # The suite runs from a copy of each build's exes in a folder of their
    # own, as the workflow runs it from the exes it downloads.
    copies=$(mktemp -d /tmp/vardion-suite.XXXXXX)
    trap 'rm -rf "$copies"' EXIT
    for arch in $arches; do
        build=$(windows_build_dir "$arch")
        bits=32
        [ "$arch" = win64 ] && bits=64
        step=$SECONDS

        echo "== Run command with the $arch build: returns through a pipe; stop ends the session and keeps known.dat"
        # The run command picks the 32-bit build wherever it can; 0 makes it take the 64-bit one.
        VARDION_RUN_32BIT=$([ "$arch" = win32 ] && echo 1 || echo 0) bash tests/run_command_test.sh

        echo "== Windows suite of the $arch build under Wine, from a copy of its exes in $copies/$arch"
        mkdir "$copies/$arch"
        cp "$build"/*.exe "$copies/$arch/"
        counts=$(VARDION_SUITE_REPORT=$build/suite-report suite "$build/suite.log" "$copies/$arch")
        tally "$counts"
        note "$arch under the machine's own Wine $own_wine, the $bits-bit loader: the run command," \
            "and the Windows suite from a copy of its exes: $counts, in $((SECONDS - step)) s"
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
            echo "== Windows suite of the $arch build under Debian 13's Wine $wine10"
            counts=$(VARDION_WINE=10 VARDION_SUITE_REPORT=$build/suite-report-wine10 \
                suite "$build/suite-wine10.log" "$build")
            tally "$counts"
            note "$arch under Debian 13's Wine $wine10, the $bits-bit loader: the Windows suite:" \
                "$counts, in $((SECONDS - step)) s"
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
        counts=$(VARDION_RESOURCES_EXE="Z:$exe" VARDION_SUITE_REPORT=build-win64/suite-report-win32 \
            suite build-win64/resources-win32.log build-win64 resources_test)
        tally "$counts"
        note "win32: not run here; PE32, and the 64-bit resources test on its exe: $counts;" \
            "the same bytes from a second build"
    fi
fi

echo "== Summary"
printf '%s\n' "${summary[@]}"
echo "all passed in $((SECONDS - started)) s"
echo "total: $total_passed passed, 0 failed, $total_skipped skipped"
