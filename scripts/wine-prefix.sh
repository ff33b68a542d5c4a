#!/bin/sh
# Creates the Wine prefix of a build if it is missing: 32-bit unless win64 is asked for (where
# 32-bit programs run under WoW64, as on 64-bit Windows), with the null graphics driver, so
# that windows and dialogs work with no display at all.
# usage: wine-prefix.sh <prefix dir> [win32|win64]
set -eu
# Wine takes only an absolute prefix: a relative one would fail here without a word.
mkdir -p "$(dirname "$1")"
prefix=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
# Wine reads Unix file names in the character set of the Unix locale: UTF-8, whatever the
# caller's locale (C.UTF-8 comes with the C library).
export LC_ALL=C.UTF-8
arch=${2:-win32}
case $arch in win32|win64) ;; *) echo "wine-prefix.sh: no Windows architecture $arch (win32 or win64)" >&2; exit 1 ;; esac
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
if [ ! -f "$prefix/.tarvel-ready" ]; then
    rm -rf "$prefix"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.tarvel-ready"
fi
