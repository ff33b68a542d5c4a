#!/bin/sh
# Builds tarvel.fmx and the host emulator, then shows a session through fmhost: the plug-in
# listed as the host lists it, and its functions called as a script would call them.
# Installs what is missing first.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win" -j"$(nproc)" --target tarvel fmhost
"$root/scripts/wine-prefix.sh" "$build/win/wineprefix"

export WINEPREFIX="$build/win/wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
wineserver -p
fmhost() { wine "$build/win/bin/fmhost.exe" "$@" 2>&1 | tr -d '\r'; }
samples=$(winepath -w "$root/samples" 2>/dev/null)

echo "== The plug-in as FileMaker lists it"
fmhost "$build/win/bin/tarvel.fmx"
echo
echo "== A session"
cd "$root/scripts"
fmhost --auto-close --script demo.fmhost "$build/win/bin/tarvel.fmx" \
    "Tarv-SetFolder=$samples" 9 9 9 9 9 9 \
    "Tarv-GetFileName=$samples\\Récapitulatif.txt"
wineserver -k || true
