#!/usr/bin/env bash
# Installs what is needed, builds the simulator executable only, and starts
# the daemon against the simulated board (every file path re-rooted under
# ./nodalsrv-sim-root, or $NODALSRV_SIM_ROOT), listening for the controller
# on the port given (default 20001).
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target nodalsrv-sim
exec build/nodalsrv-sim --port "${1:-20001}"
