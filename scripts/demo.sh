#!/bin/sh
# Builds tarvel.fmx and the host emulator, then shows a session through fmhost: the plug-in
# listed as FileMaker lists it, and the calls of scripts/demo.fmhost made as a FileMaker
# script makes them, on the files of samples/. Installs what is missing first.
#
# The session runs in a Wine prefix of its own (build/win/demo-wineprefix): its clipboard and
# the file association it registers for .tarveldemo documents touch nothing of the tests'.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win" -j"$(nproc)" --target tarvel fmhost open_recorder clipboard_tool
prefix=$build/win/demo-wineprefix
"$root/scripts/wine-prefix.sh" "$prefix"

# The demonstration's stand-in for another program that uses the clipboard.
clipboard=$build/win/bin/clipboard_tool.exe

export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
wineserver -p 2>/dev/null || true
# Wine's helper processes start with the first program and keep its output open: give them none.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
run() { wine "$@" </dev/null 2>&1 | tr -d '\r'; }
samples=$(winepath -w "$root/samples" 2>/dev/null)
bin=$(winepath -w "$build/win/bin" 2>/dev/null)

# .tarveldemo documents open with a program that writes the path it was given to the file
# that TARVEL_OPEN_RECORD names, and ends.
run reg add 'HKCR\.tarveldemo' /ve /d tarvel.demodocument /f >/dev/null
run reg add 'HKCR\tarvel.demodocument\shell\open\command' /ve \
    /d "\"$bin\\open_recorder.exe\" \"%1\"" /f >/dev/null
TARVEL_OPEN_RECORD="$(winepath -w "$work" 2>/dev/null)\\opened.txt"
export TARVEL_OPEN_RECORD

echo "== The plug-in as FileMaker lists it"
run "$build/win/bin/fmhost.exe" "$build/win/bin/tarvel.fmx"
echo
# Not through run's pipe: with its output in a pipe, the first clipboard write of a fresh
# Wine server was seen to get lost.
wine "$clipboard" set "Quarterly figures" </dev/null >/dev/null 2>&1 ||
    echo "(the text could not be put on the clipboard)"
echo "== Another program has copied a text. The clipboard holds: $(run "$clipboard" show)"
echo
echo "== The session of scripts/demo.fmhost"
escaped=$(printf '%s' "$samples" | sed 's/[\\&|]/\\&/g')
sed "s|@SAMPLES@|$escaped|g" "$root/scripts/demo.fmhost" >"$work/session.fmhost"
run "$build/win/bin/fmhost.exe" --auto-close --script "$(winepath -w "$work/session.fmhost" 2>/dev/null)" \
    "$build/win/bin/tarvel.fmx"
echo
echo "== After the session"
tries=0
while [ ! -s "$work/opened.txt" ] && [ "$tries" -lt 100 ]; do
    tries=$((tries + 1))
    sleep 0.1
done
if [ -s "$work/opened.txt" ]; then
    echo "The program associated with .tarveldemo was started with: $(iconv -f CP1252 -t UTF-8 "$work/opened.txt")"
else
    echo "The program associated with .tarveldemo did not report a start."
fi
echo "The clipboard holds: $(run "$clipboard" show)"
