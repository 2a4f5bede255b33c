#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, -DTESSEL_FUZZ=ON) and runs them one
# after the other, each for the given number of seconds (default 600).
#
#   scripts/fuzz.sh [seconds] [target...]     e.g. scripts/fuzz.sh 180 fuzz_clsframe
#
# Each target starts from its seeds in fuzz/corpus/<target>/ plus what earlier
# runs found, kept in <build>/corpus/<target>/ (the seeds in the repository are
# never written). A finding (crash, sanitizer report or failed invariant) is
# saved in <build>/findings/<target>/ and the script exits with status 1 after
# running every target. Logs: <build>/fuzz-logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
build=${TESSEL_FUZZ_BUILD_DIR:-build-fuzz}
command -v clang++ >/dev/null || { echo "fuzz.sh needs clang with libFuzzer (Debian: apt-get install clang)" >&2; exit 2; }

[ -f "$build/build.ninja" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTESSEL_FUZZ=ON -DTESSEL_BENCH=OFF
cmake --build "$build" --target fuzz

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for source in fuzz/fuzz_*.cpp; do
        name=$(basename "$source" .cpp)
        # A target whose parser is not in this tree is not built.
        [ -x "$build/bin/$name" ] && targets+=("$name")
    done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
found=0
for name in "${targets[@]}"; do
    work="$build/corpus/$name"
    findings="$build/findings/$name"
    log="$build/fuzz-logs/$name.log"
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    started=$(date +%s)
    status=0
    "$build/bin/$name" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    ran=$(($(date +%s) - started))
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    if [ $status -eq 0 ]; then
        echo "$name: ran ${ran} s, $runs inputs, nothing found"
    else
        found=1
        echo "$name: ran ${ran} s, FOUND something (exit $status), see $log and $findings/"
        grep -E 'invariant failed|runtime error|ERROR: (AddressSanitizer|libFuzzer)' "$log" | head -3 || true
    fi
done
exit $found
