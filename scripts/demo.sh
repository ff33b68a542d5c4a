#!/bin/sh
# Builds tarvel.fmx and the host emulator, then shows a session through fmhost: the plug-in
# listed as FileMaker lists it, and the calls of scripts/demo.fmhost made as a FileMaker
# script makes them, on the files of samples/. Installs what is missing first. Then checks
# what the session answered, and ends with status 1 and one line naming the fault if the scan
# missed a sample file, the document did not open, or the clipboard did not come back.
#
# The session runs in a Wine prefix of its own (build/win/demo-wineprefix): its clipboard and
# the file association it registers for .tarveldemo documents touch nothing of the tests'.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
# Wine reads Unix file names in the character set of the Unix locale; in the POSIX locale,
# which a container or `env -i` gives, that is ASCII and the accented sample names are lost.
# C.UTF-8 comes with the C library, so it is there on every Debian 12.
export LC_ALL=C.UTF-8

fail() {
    printf 'demo.sh: FAILED: %s\n' "$1" >&2
    exit 1
}

# What the session must answer. The scan finds exactly these files of samples/, in whatever
# order the folder gives them; its filter leaves out draft.doc. The document is the one that
# Tarv-OpenFile opens with the program registered for its type.
scanned='notes.txt
Reports\Q1.csv
Reports\Übersicht.txt
Récapitulatif.txt'
document='Présentation.tarveldemo'
copied='Quarterly figures'

[ "$(locale charmap 2>/dev/null)" = UTF-8 ] ||
    fail "this system has no C.UTF-8 locale, and without a UTF-8 locale Wine cannot read accented file names"
while IFS= read -r name; do
    name=$(printf '%s' "$name" | tr '\\' '/')
    [ -f "$root/samples/$name" ] ||
        fail "samples/$name is missing; the session needs every sample file (git checkout -- samples brings them back)"
done <<LIST
$scanned
draft.doc
$document
LIST

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
# Wine drops the clipboard about a second after its last program has ended, where a real
# session would keep it: a program that stays idle until the end (the null graphics driver
# shows no window) keeps it between the demonstration's programs.
wine notepad </dev/null >/dev/null 2>&1 &
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
wine "$clipboard" set "$copied" </dev/null >/dev/null 2>&1 ||
    fail "another program could not put a text on Wine's clipboard before the session"
printf '== Another program has copied a text. The clipboard holds: %s\n' "$(run "$clipboard" show)"
echo
echo "== The session of scripts/demo.fmhost"
escaped=$(printf '%s' "$samples" | sed 's/[\\&|]/\\&/g')
sed "s|@SAMPLES@|$escaped|g" "$root/scripts/demo.fmhost" >"$work/session.fmhost"
# Into a file rather than a pipe, to keep fmhost's exit status.
session_status=0
wine "$build/win/bin/fmhost.exe" --auto-close --script "$(winepath -w "$work/session.fmhost" 2>/dev/null)" \
    "$build/win/bin/tarvel.fmx" </dev/null >"$work/session.raw" 2>&1 || session_status=$?
tr -d '\r' <"$work/session.raw" >"$work/session.txt"
cat "$work/session.txt"
echo
echo "== After the session"
tries=0
while [ ! -s "$work/opened.txt" ] && [ "$tries" -lt 100 ]; do
    tries=$((tries + 1))
    sleep 0.1
done
opened=
if [ -s "$work/opened.txt" ]; then
    opened=$(iconv -f CP1252 -t UTF-8 "$work/opened.txt")
    printf 'The program associated with .tarveldemo was started with: %s\n' "$opened"
else
    echo "The program associated with .tarveldemo did not report a start."
fi
holds=$(run "$clipboard" show)
printf 'The clipboard holds: %s\n' "$holds"

# ---- what the session answered against what it must answer ---------------------------------
[ "$session_status" -eq 0 ] ||
    fail "fmhost ended with status $session_status: it could not run the session, or the plug-in broke a host rule (said above)"
sed -n 's/^External("Tarv-GetNextFilePath", "") = "\(.*\)"$/\1/p' "$work/session.txt" >"$work/found.txt"
while IFS= read -r name; do
    grep -qxF -- "$samples\\$name" "$work/found.txt" ||
        fail "the scan did not find samples\\$name, which is there: Wine or the plug-in read its name wrongly"
done <<LIST
$scanned
LIST
while IFS= read -r path; do
    printf '%s\n' "$scanned" | grep -qxF -- "${path#"$samples\\"}" ||
        fail "the scan gave $path, which is none of the files it should find (is there a new file in samples/?)"
done <"$work/found.txt"
call="External(\"Tarv-OpenFile\", \"$samples\\$document\") = "
answer=
while IFS= read -r line; do
    case $line in "$call"*) answer=${line#"$call"} ;; esac
done <"$work/session.txt"
[ "$answer" = '"000 (OK)"' ] ||
    fail "Tarv-OpenFile answered ${answer:-nothing} for samples\\$document: Wine could not start open_recorder.exe, the program registered for .tarveldemo"
[ -n "$opened" ] ||
    fail "Tarv-OpenFile answered 000 (OK), but the program registered for .tarveldemo did not report a start within 10 s (a busy machine? run the demo again)"
[ "$opened" = "$samples\\$document" ] ||
    fail "the program registered for .tarveldemo was started with $opened instead of samples\\$document"
[ "$holds" = "the text \"$copied\"" ] ||
    fail "the clipboard holds $holds after Tarv-RestoreClipboard instead of the text copied before the session: the restore did not put it back"
echo
echo "The session answered as it should: the scan found the sample files, the document opened with its program, and the clipboard has its text back."
