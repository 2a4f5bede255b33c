#!/usr/bin/env bash
# Configures (once) and builds Tessel, Flashor, tessel-sim, the tests and the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TESSEL_BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja ${TESSEL_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
