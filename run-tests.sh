#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test twice: a plain
# build and one under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh all
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODAL_TESTS=ON -DNODAL_BENCH=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNODAL_SANITIZE=ON -DNODAL_TESTS=ON -DNODAL_BENCH=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && \
  ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs")
