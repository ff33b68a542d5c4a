#!/bin/sh
# Runs the call storm for N seeds in a row, from the first seed given (default 1) upwards,
# each as long as the storm's own default (kStormCalls, tests/win/storm_test.cpp) unless
# TARVEL_STORM_CALLS says otherwise, and prints each seed's calls (as its log states them),
# time and verdict. Each seed's output goes to build/storm-seeds/<seed>.log. The test run
# itself runs one seed; this is for the rest. usage: scripts/storm-seeds.sh N [first seed]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
count=${1:?usage: scripts/storm-seeds.sh N [first seed]}
first=${2:-1}
# The locale of the test run, whatever the caller's.
export LC_ALL=C.UTF-8

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win" -j"$(nproc)" --target storm_win_test
"$root/scripts/wine-prefix.sh" "$build/win/wineprefix"

export WINEPREFIX="$build/win/wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
# A seed of 300,000 calls takes some minutes; the storm's watchdog and the wrapper's timeout
# read this limit. TARVEL_STORM_CALLS, when set, reaches the storm as it is.
export TARVEL_TEST_TIMEOUT="${TARVEL_TEST_TIMEOUT:-7200}"
wineserver -p 2>/dev/null || true  # already running is fine
wine cmd /c exit >/dev/null 2>&1 || true
logs="$build/storm-seeds"
mkdir -p "$logs"
status=0
seed=$first
while [ "$seed" -lt $((first + count)) ]; do
    started=$(date +%s)
    if TARVEL_STORM_SEED=$seed "$build/win/wine-run.sh" "$build/win/bin/storm_win_test.exe" \
            >"$logs/$seed.log" 2>&1; then
        verdict=passed
    else
        verdict="FAILED: see $logs/$seed.log"
        status=1
    fi
    calls=$(sed -n 's/^storm: seed [0-9]*, \([0-9]*\) calls.*/\1/p' "$logs/$seed.log")
    printf 'seed %s: %s calls, %s s, %s\n' "$seed" "${calls:-no}" $(($(date +%s) - started)) "$verdict"
    seed=$((seed + 1))
done
wineserver -k || true
exit $status
