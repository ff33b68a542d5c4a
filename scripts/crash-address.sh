#!/bin/sh
# Reads a crash address in tarvel.fmx as function, source file and line, from the symbols zip
# of the customer's release (tarvel-<version>-symbols.zip, which scripts/package.sh writes).
#
# Windows Vista and later report where in the module a crash happened as an offset ("Fault
# Offset: 0x00002c20"); Windows 2000 and XP (Dr. Watson's log) give the address instead, with
# the address the module was loaded at among the modules. The debug file places the module at
# its image base, so the offset is looked up there, wherever Windows loaded the module.
#
# usage: scripts/crash-address.sh ADDRESS [MODULE-BASE]
#   ADDRESS       hexadecimal, 0x optional: the fault offset; or, with MODULE-BASE, the address
#   MODULE-BASE   hexadecimal: the address Windows loaded tarvel.fmx at
#   TARVEL_SYMBOLS  the symbols zip, or the tarvel.fmx.debug out of it (default:
#                 dist/tarvel-<version>-symbols.zip of this checkout)
# Prints one line per function, the innermost first ("... (inlined by) ..." for a function
# the compiler inlined into the next); the status is 1 when the address is outside the module.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { printf 'crash-address.sh: %s\n' "$*" >&2; exit 1; }
usage="usage: crash-address.sh ADDRESS [MODULE-BASE] (hexadecimal)"

# hex TEXT: TEXT as a number, from up to eight hexadecimal digits with or without 0x.
hex() {
    digits=${1#0[xX]}
    case $digits in
        '' | *[!0-9a-fA-F]* | ?????????*) fail "not a 32-bit hexadecimal address: $1 ($usage)" ;;
    esac
    echo $((0x$digits))
}
[ $# -eq 1 ] || [ $# -eq 2 ] || fail "$usage"
offset=$(hex "$1")
if [ $# -eq 2 ]; then
    base=$(hex "$2")
    [ "$offset" -ge "$base" ] || fail "the address $1 lies below the module's base $2"
    offset=$((offset - base))
fi

for tool in i686-w64-mingw32-addr2line i686-w64-mingw32-objdump i686-w64-mingw32-c++filt unzip; do
    command -v "$tool" >/dev/null || fail "$tool is missing: scripts/install-deps.sh installs it"
done
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
symbols=${TARVEL_SYMBOLS:-$root/dist/tarvel-$version-symbols.zip}
[ -f "$symbols" ] || fail "no symbols at $symbols (set TARVEL_SYMBOLS to the release's symbols zip)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case $symbols in
    *.zip) unzip -p "$symbols" '*/tarvel.fmx.debug' >"$work/tarvel.fmx.debug" 2>/dev/null &&
               [ -s "$work/tarvel.fmx.debug" ] || fail "$symbols holds no tarvel.fmx.debug"
           debug=$work/tarvel.fmx.debug ;;
    *) debug=$symbols ;;
esac

headers=$(i686-w64-mingw32-objdump -p "$debug") || fail "$debug is no debug file of tarvel.fmx"
image_base=$(printf '%s\n' "$headers" | sed -n 's/^ImageBase[[:space:]]*\([0-9a-fA-F]*\)$/\1/p')
image_size=$(printf '%s\n' "$headers" | sed -n 's/^SizeOfImage[[:space:]]*\([0-9a-fA-F]*\)$/\1/p')
[ -n "$image_base" ] && [ -n "$image_size" ] || fail "$debug has no image base or size"
[ "$offset" -lt $((0x$image_size)) ] ||
    fail "offset $(printf '0x%x' "$offset") is outside tarvel.fmx, whose image is 0x$image_size bytes"

# The module's C++ names carry the extra leading underscore of 32-bit Windows, which
# addr2line's own demangling does not expect; c++filt without stripping one reads them whole.
printf '0x%x\n' $((0x$image_base + offset)) |
    i686-w64-mingw32-addr2line -f -i -p -e "$debug" |
    i686-w64-mingw32-c++filt -n | sed 's| at \./| at |' >"$work/lines.txt"
! grep -q '^??' "$work/lines.txt" || fail "no function of tarvel.fmx holds offset $(printf '0x%x' "$offset")"
cat "$work/lines.txt"
