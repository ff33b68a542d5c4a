#!/bin/sh
# Regenerates the reference's pictures of what the plug-in shows, as Wine's X11 driver draws
# it on a virtual X screen: information-dialog.png (FileMaker's plug-in preferences command),
# open-file-dialog.png (Tarv-GetFilePath with a title and two file types, in samples/),
# folder-browser.png (Tarv-ChooseFolder with a title) and scan-progress.png (the progress
# window of a long Tarv-SetFolder). Works on a copy of the build's Wine
# prefix (the build's own uses the null graphics driver and stays as it is), given Wine's
# Marlett font for the caption buttons and rid of the desktop items only Wine has, so that
# the pictures show what a user on Windows sees but for Wine's own colours, font and icons.
# fmhost gives its main window the foreground, as FileMaker's has, so each dialog is
# captured active, with an active caption. Ends the copy's Wine processes and the X server
# when done. Builds what is missing first.
# usage: scripts/screenshot.sh [output folder]        (default: docs/images)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
out=${1:-$root/docs/images}
magick=/usr/bin/convert
[ -x "$magick" ] || magick=convert
# Wine reads Unix file names in the character set of the Unix locale: UTF-8, whatever the
# caller's locale (C.UTF-8 comes with the C library).
export LC_ALL=C.UTF-8

# The X server, the window tools and ImageMagick only this script needs, and Wine's own fonts:
# its Marlett draws the caption buttons, which show a letter "r" for the close box without it.
"$root/scripts/install-deps.sh" xvfb x11-apps imagemagick fonts-wine
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || { echo "screenshot.sh: no $marlett (package fonts-wine)" >&2; exit 1; }
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
# Wine finds no font in its data folder here (fontconfig does not list that folder either),
# but it loads every font of the prefix's Windows font folder.
cp "$marlett" "$work/prefix/drive_c/windows/Fonts/"
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
# The X11 driver instead of the null one; windows unmanaged, since there is no window manager.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
# The desktop's items that only Wine has: the Unix file system's root ("/") and the Trash.
# What a user of Windows sees there is the desktop's own folders and My Computer.
namespace='HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Desktop\Namespace'
for item in '{9D20AAE8-0625-44B0-9CA7-71889C2254D9}' '{645FF040-5081-101B-9F08-00AA002F954E}'; do
    wine reg delete "$namespace\\$item" /f </dev/null >/dev/null 2>&1 ||
        fail "cannot remove the desktop item $item from the prefix's shell namespace"
done
# Everything started so far came up with the null driver: start afresh.
wineserver -k
wineserver -w

module=$(winepath -w "$build/win/bin/tarvel.fmx" 2>/dev/null)
samples=$(winepath -w "$root/samples" 2>/dev/null)
mkdir -p "$out"

# capture NAME CAPTION [OPTION...]: runs the calls of $work/calls.fmhost through fmhost (with
# the options given), waits for the window with that caption, writes its picture as
# $out/NAME, and ends fmhost.
capture() {
    name=$1 caption=$2
    shift 2
    script=$(winepath -w "$work/calls.fmhost" 2>/dev/null)
    wine "$build/win/bin/fmhost.exe" "$@" --script "$script" "$module" </dev/null >"$work/fmhost.log" 2>&1 &
    fmhost_pid=$!

    window=
    tries=0
    while [ -z "$window" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 120 ] || fail "the window \"$caption\" did not appear within 30 s"
        sleep 0.25
        window=$(xwininfo -root -tree 2>/dev/null | awk -v caption="\"$caption\":" '
            index($0, caption) && $1 ~ /^0x/ {print $1; exit}')
    done
    geometry=$(xwininfo -id "$window" | awk '
        /Absolute upper-left X:/ {x = $NF} /Absolute upper-left Y:/ {y = $NF}
        /Width:/ {w = $NF} /Height:/ {h = $NF}
        END {print w "x" h "+" x "+" y}')

    # The window paints itself (and fills its lists) after it appears: capture until two
    # captures agree.
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

    "$magick" "xwd:$work/screen.xwd" -crop "$geometry" +repage -strip \
        -define png:exclude-chunks=date,time "png:$out/$name.part"
    mv "$out/$name.part" "$out/$name"
    printf '%s (%s)\n' "$out/$name" "$geometry"
    # The window waits for a person: end it with every Wine process of the copy.
    wineserver -k
    wineserver -w
    wait "$fmhost_pid" 2>/dev/null || true
}

printf ':preferences\n' >"$work/calls.fmhost"
capture information-dialog.png "Quillon tarvel"

printf 'Tarv-SetDialogFilter=Text files;*.txt;Word documents;*.doc\nTarv-SetInitialFolder=%s\n%s\n' \
    "$samples" 'Tarv-GetFilePath=Choose the file to import' >"$work/calls.fmhost"
capture open-file-dialog.png "Choose the file to import"

printf 'Tarv-ChooseFolder=Folder to import from\n' >"$work/calls.fmhost"
capture folder-browser.png "Browse for Folder"

# A scan runs past a second: 400 invoices, each entry made 50 ms slower, so that the window
# shows after the first 64 entries and keeps its text for the next 64.
invoices="$work/prefix/drive_c/Data/Invoices 2026"
mkdir -p "$invoices"
i=1
while [ "$i" -le 400 ]; do
    : >"$invoices/invoice-$(printf '%04d' "$i").pdf"
    i=$((i + 1))
done
printf '%s\n' 'Tarv-SetFileFilter=*.pdf' 'Tarv-SetFolder=C:\Data' >"$work/calls.fmhost"
capture scan-progress.png "Quillon tarvel" --slow-scan 50
