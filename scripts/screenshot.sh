#!/bin/sh
# Regenerates docs/images/information-dialog.png: the information dialog that FileMaker's
# plug-in preferences command shows, as Wine's X11 driver draws it on a virtual X screen.
# Works on a copy of the build's Wine prefix (the build's own uses the null graphics driver
# and stays as it is), and ends the copy's Wine processes and the X server when done.
# Builds what is missing first.  usage: scripts/screenshot.sh [output.png]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
out=${1:-$root/docs/images/information-dialog.png}
magick=/usr/bin/convert
[ -x "$magick" ] || magick=convert
# Wine reads Unix file names in the character set of the Unix locale: UTF-8, whatever the
# caller's locale (C.UTF-8 comes with the C library).
export LC_ALL=C.UTF-8

# The X server, the window tools and ImageMagick only this script needs.
"$root/scripts/install-deps.sh" xvfb x11-apps imagemagick
cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win" -j"$(nproc)" --target tarvel fmhost >/dev/null
"$root/scripts/wine-prefix.sh" "$build/win/wineprefix"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    printf 'screenshot.sh: %s\n' "$*" >&2
    [ ! -s "$work/fmhost.log" ] || tr -d '\r' <"$work/fmhost.log" >&2
    exit 1
}

# The X server takes a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.1
done
DISPLAY=:$(tr -d '\n' <"$work/display")
export DISPLAY

cp -a "$build/win/wineprefix" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
# The X11 driver instead of the null one; windows unmanaged, since there is no window manager.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
# Everything started so far came up with the null driver: start afresh.
wineserver -k
wineserver -w

printf ':preferences\n' >"$work/preferences.fmhost"
script=$(winepath -w "$work/preferences.fmhost" 2>/dev/null)
module=$(winepath -w "$build/win/bin/tarvel.fmx" 2>/dev/null)
wine "$build/win/bin/fmhost.exe" --script "$script" "$module" </dev/null >"$work/fmhost.log" 2>&1 &

window=
tries=0
while [ -z "$window" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 120 ] || fail "the information dialog did not appear within 30 s"
    sleep 0.25
    window=$(xwininfo -root -tree 2>/dev/null |
             sed -n 's/^ *\(0x[0-9a-f]*\) "Quillon tarvel": .*/\1/p' | head -n 1)
done
geometry=$(xwininfo -id "$window" | awk '
    /Absolute upper-left X:/ {x = $NF} /Absolute upper-left Y:/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF}
    END {print w "x" h "+" x "+" y}')

# The dialog paints itself right after it appears: capture until two captures agree.
tries=0
xwd -root -silent >"$work/screen.xwd"
while :; do
    tries=$((tries + 1))
    [ "$tries" -le 40 ] || fail "the screen did not settle"
    sleep 0.25
    xwd -root -silent >"$work/again.xwd"
    cmp -s "$work/screen.xwd" "$work/again.xwd" && break
    mv "$work/again.xwd" "$work/screen.xwd"
done

mkdir -p "$(dirname "$out")"
"$magick" "xwd:$work/screen.xwd" -crop "$geometry" +repage -strip \
    -define png:exclude-chunks=date,time "png:$out.part"
mv "$out.part" "$out"
printf '%s (%s)\n' "$out" "$geometry"
