#!/bin/sh
# Builds the release package dist/tarvel-<version>.zip. It opens into one folder,
# tarvel-<version>/, holding tarvel.fmx, LICENSE.txt and the reference rendered as HTML
# (docs/ without its Markdown sources): index.html, the start page, from docs/README.md, then
# installing.html, status-codes.html, functions/ and images/. The fmhost and design pages
# stay out: they are for the plug-in's developers, and fmhost.exe is not in the package. The same sources
# give the same bytes: the module is built reproducibly, and the zip gets a fixed file order,
# fixed times and permissions, and no extra fields.
#
# usage: scripts/package.sh [output folder]        (default: dist/ in the repository)
#   TARVEL_BUILD   build folder, as for demo.sh and test.sh (default: build/); the module is
#                  built (or brought up to date) in its win/ folder
#   TARVEL_MODULE  package this tarvel.fmx instead of building one
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
dist=${1:-$root/dist}
# The same locale on every machine, whatever the caller's: zip reads file names by it.
export LC_ALL=C.UTF-8
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }

if [ -n "${TARVEL_MODULE:-}" ]; then
    module=$TARVEL_MODULE
    { command -v zip && /usr/bin/python3 -c 'import markdown'; } >/dev/null 2>&1 ||
        "$root/scripts/install-deps.sh"
else
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build/win" -j"$(nproc)" --target tarvel >/dev/null
    module=$build/win/bin/tarvel.fmx
fi
[ -f "$module" ] || { printf 'package.sh: no module at %s\n' "$module" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/tarvel-$version
mkdir "$folder"
cp "$module" "$folder/tarvel.fmx"
# Notepad before Windows 10 shows a text's lines only when they end in CR LF.
sed 's/$/\r/' "$root/LICENSE" >"$folder/LICENSE.txt"
cp -R "$root/docs/." "$folder/"
rm -f "$folder/fmhost.md" "$folder/design.md"
# Debian's python3-markdown, whatever python3 comes first on the PATH.
/usr/bin/python3 "$root/tools/render_docs.py" "$folder" >/dev/null
find "$folder" -name '*.md' -exec rm {} +
# Nothing of the machine or the moment goes into the zip: permissions and times are fixed
# (in UTC, since zip stores local time), and the names are added in byte order.
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d '2000-01-01 00:00:00 UTC' {} +

mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
zipfile="$dist/tarvel-$version.zip"
rm -f "$zipfile" "$zipfile.part"
(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
    TZ=UTC zip -X -D -q -@ "$zipfile.part")
mv "$zipfile.part" "$zipfile"
printf '%s\n' "$zipfile"
