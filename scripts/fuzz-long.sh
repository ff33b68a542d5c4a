#!/bin/sh
# Runs every libFuzzer target for a longer time (default 600 s each) from its committed
# corpus and prints each target's final figures. New inputs go to build/fuzz-work/<target>,
# never into the committed corpus. usage: scripts/fuzz-long.sh [seconds per target]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
seconds=${1:-600}
# The locale of the test run, whatever the caller's.
export LC_ALL=C.UTF-8

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build/native" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/native" -j"$(nproc)"

status=0
for fuzzer in "$build"/native/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    work="$build/fuzz-work/$name"
    mkdir -p "$work"
    printf '== %s: %s s\n' "$name" "$seconds"
    if ! "$fuzzer" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
            "$work" "$root/fuzz/corpus/$name" >"$work.log" 2>&1; then
        status=1
        printf 'FAILED: see %s\n' "$work.log"
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^#[0-9]+.*DONE' \
        "$work.log" || true
    echo "corpus entries found: $(ls "$work" | wc -l)"
done
exit $status
