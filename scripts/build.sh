#!/usr/bin/env bash
# Configures and builds into ./build (or $1); further arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@:2}" >/dev/null
cmake --build "$build" -j"$(nproc)"
