#!/usr/bin/env bash
# Builds the programs and the whole test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (-DTESSEL_SANITIZE=ON) in build-asan and runs
# ctest there. Any sanitizer report fails the test that triggered it.
#
#   scripts/sanitize.sh              configure, build everything, run every test
#   scripts/sanitize.sh -R tst_foo   extra arguments go to ctest
#
# TESSEL_ASAN_BUILD_DIR picks another build folder; TESSEL_JOBS the number of
# compile jobs (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${TESSEL_ASAN_BUILD_DIR:-build-asan}
jobs=${TESSEL_JOBS:-$(nproc)}

[ -f "$build/build.ninja" ] ||
    cmake -S . -B "$build" -G Ninja -DTESSEL_SANITIZE=ON -DTESSEL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$jobs"

# Stop at the first report with a stack; leaks are reported at exit (only the
# suppressions in scripts/lsan.supp are accepted, each with its reason there).
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure "$@"
