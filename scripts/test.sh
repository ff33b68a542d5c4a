#!/bin/sh
# Builds everything and runs every test: the native suite (AddressSanitizer and
# UndefinedBehaviorSanitizer, fuzzers) and the Wine suite (the real tarvel.fmx through the
# host emulator). Installs what is missing first. One CTest run covers both builds, so its
# summary counts every test. usage: scripts/test.sh [extra ctest arguments]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
jobs=$(nproc)
# Wine reads Unix file names in the character set of the Unix locale, and in the POSIX
# locale, which a container or `env -i` gives, that is ASCII: accented names are lost. So
# the tests run in C.UTF-8 (it comes with the C library), whatever the caller's locale.
export LC_ALL=C.UTF-8
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] ||
    { echo "test.sh: this system has no C.UTF-8 locale, which Wine needs for accented file names" >&2; exit 1; }

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build/native" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/native" -j"$jobs"
cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win" -j"$jobs"

"$root/scripts/wine-prefix.sh" "$build/win/wineprefix"
mkdir -p "$build/all"
printf '# Both builds'"'"' tests in one run.\nsubdirs("%s")\nsubdirs("%s")\n' \
    "$build/native" "$build/win" >"$build/all/CTestTestfile.cmake"

export WINEPREFIX="$build/win/wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
# A persistent wine server and a warm start make each test process start in milliseconds.
wineserver -p 2>/dev/null || true  # already running is fine
wine cmd /c exit >/dev/null 2>&1 || true
status=0
ctest --test-dir "$build/all" -j"$jobs" --output-on-failure "$@" || status=$?
wineserver -k || true
exit $status
