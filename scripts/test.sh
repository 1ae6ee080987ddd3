#!/usr/bin/env bash
# Builds both builds of Vardion and runs every test: the host tests, the host
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# release (reproducible from another path), the run command, and the Windows
# tests under Wine. Installs whatever is missing first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/install-deps.sh

echo "== Host build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVARDION_SANITIZE=ON -DVARDION_BENCHMARKS=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== Fuzzing the reader of known.dat (${VARDION_FUZZ_SECONDS:=60} s)"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDION_FUZZ=ON \
    -DVARDION_BENCHMARKS=OFF
cmake --build build-fuzz -j"$jobs" --target known_fuzz
rm -rf build-fuzz/corpus && mkdir -p build-fuzz/corpus
build-fuzz/tests/fuzz/known_fuzz -max_total_time="$VARDION_FUZZ_SECONDS" -max_len=65536 \
    -print_final_stats=1 build-fuzz/corpus tests/fuzz/corpus 2>build-fuzz/fuzz.log ||
    { tail -n 40 build-fuzz/fuzz.log; exit 1; }
grep -E '^stat::number_of_executed_units' build-fuzz/fuzz.log

if [ -f cmake/Windows.cmake ]; then
    echo "== Windows build and tests under Wine"
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
        -DCMAKE_BUILD_TYPE=Release
    cmake --build build-win -j"$jobs"

    echo "== Release: the stripped exe and its zip, the same bytes from a second build elsewhere"
    bash scripts/reproducible.sh

    echo "== Run command: returns through a pipe; stop ends the session and keeps known.dat"
    bash tests/run_command_test.sh

    echo "== Windows tests under Wine, against the same Vardion.exe"
    ctest --test-dir build-win --output-on-failure
fi
