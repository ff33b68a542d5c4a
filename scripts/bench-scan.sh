#!/bin/sh
# Builds the folder-scan benchmark for Windows and runs it under Wine: the scan of generated
# trees (100,000 files in 1,000 folders, and 51,000 files in 5,100 small folders) through the
# host emulator, beside a bare FindFirstFileW walk; then
# the scan list's ceiling and the scan of a folder with a link to the root (scan_ceiling).
# Prints figures and their verdicts against the targets; fails only when paths come back wrong.
# usage: bench-scan.sh [build dir [folders [files-per-folder [repetitions]]]]
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source_dir/build-bench/win}
shift $(( $# > 0 ? 1 : 0 ))
mkdir -p "$build"
build=$(cd "$build" && pwd)
# Wine reads Unix file names in the character set of the Unix locale: UTF-8, whatever the
# caller's locale (C.UTF-8 comes with the C library).
export LC_ALL=C.UTF-8
# Release, as the module ships (scripts/package.sh): without a build type it has no optimisation.
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target scan_bench scan_ceiling
"$source_dir/scripts/wine-prefix.sh" "$build/wineprefix"
TARVEL_TEST_TIMEOUT=${TARVEL_TEST_TIMEOUT:-3600} "$build/wine-run.sh" "$build/bin/scan_bench.exe" "$@"
TARVEL_TEST_TIMEOUT=${TARVEL_TEST_TIMEOUT:-3600} "$build/wine-run.sh" "$build/bin/scan_ceiling.exe"
