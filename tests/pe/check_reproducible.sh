#!/bin/sh
# Two builds of one commit from two folders give the same bytes: the sources are copied to
# another folder, under other names, and the module built there in a build folder of another
# name must equal the one under test, and so must its debug file, whose CRC the module's debug
# link holds. Paths of the source or build folder that leak into the debug information, or a
# time stamp in a header, make them differ.
#
# usage: check_reproducible.sh <source dir> <tarvel.fmx under test>
set -eu
source_dir=$1
module=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

copy=$work/another/checkout
mkdir -p "$copy"
# The files of the source folder as they are, tracked or new, without what git ignores
# (build folders, packages); a folder that is no git work tree is copied whole.
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - -cf -) | tar -C "$copy" -xf -
else
    (cd "$source_dir" && tar --exclude=./build -cf - .) | tar -C "$copy" -xf -
fi

cmake -S "$copy" -B "$copy/elsewhere" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >"$work/configure.txt" 2>&1 ||
    { cat "$work/configure.txt" >&2; fail "the copy did not configure"; }
cmake --build "$copy/elsewhere" -j2 --target tarvel >"$work/build.txt" 2>&1 ||
    { cat "$work/build.txt" >&2; fail "the copy did not build"; }

rebuilt=$copy/elsewhere/bin/tarvel.fmx
cmp "$module.debug" "$rebuilt.debug" ||
    fail "the debug files of two builds from two folders differ"
cmp "$module" "$rebuilt" || fail "the modules of two builds from two folders differ"
echo "reproducible: $(wc -c <"$module") bytes of tarvel.fmx, $(wc -c <"$module.debug") of tarvel.fmx.debug, the same from $copy"
