#!/usr/bin/env bash
# Installs what building the daemon needs, builds the simulator executable
# only (in build-daemon/, without the tests and benchmarks), and starts the
# daemon against the simulated board (every file path re-rooted under
# ./nodalsrv-sim-root, or $NODALSRV_SIM_ROOT), listening for the controller
# on the port given (default 20001).
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh build
cmake -S . -B build-daemon -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODAL_TESTS=OFF -DNODAL_BENCH=OFF
cmake --build build-daemon -j"$(nproc)" --target nodalsrv-sim
exec build-daemon/nodalsrv-sim --port "${1:-20001}"
