#!/bin/sh
# The release package: scripts/package.sh run twice gives byte-identical zips, named with the
# module's version; the zip holds exactly tarvel.fmx, LICENSE and the reference, with a page
# for every function the module lists, each Markdown page with its HTML page, and every link
# and picture of the HTML pages resolves inside the zip; and the tarvel.fmx unpacked from it
# loads in the host emulator under Wine with its name and fifteen functions.
#
# usage: check_package.sh <source dir> <tarvel.fmx> <fmhost.exe> <wine-run.sh>
set -eu
source_dir=$1
module=$2
fmhost=$3
wine_run=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

# Wine reaches the Unix file system through drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# ---- two runs, one result ----------------------------------------------------------------
# Between the runs the time moves on and the staged files would get other times and
# permissions if the script did not fix them.
TARVEL_MODULE=$module "$source_dir/scripts/package.sh" "$work/first" >/dev/null
sleep 1
(umask 077 && TARVEL_MODULE=$module "$source_dir/scripts/package.sh" "$work/second" >/dev/null)
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
zip=$work/first/tarvel-$version.zip
[ -f "$zip" ] || fail "no tarvel-$version.zip; the script wrote: $(ls "$work/first")"
cmp "$zip" "$work/second/tarvel-$version.zip" ||
    fail "two runs of package.sh gave different zips"

# ---- contents ------------------------------------------------------------------------------
(cd "$source_dir" && find docs -type f) >"$work/sources.txt"
# README.md's HTML page is index.html, what a browser opens first in a folder.
sed -n -e 's|README\.md$|index.html|p' -e 's|\.md$|.html|p' "$work/sources.txt" >"$work/pages.txt"
{ echo LICENSE; echo tarvel.fmx; cat "$work/sources.txt" "$work/pages.txt"; } | LC_ALL=C sort \
    >"$work/expected.txt"
unzip -Z1 "$zip" >"$work/listed.txt"
diff -u "$work/expected.txt" "$work/listed.txt" >&2 ||
    fail "the zip does not hold exactly LICENSE, tarvel.fmx, docs/ and its HTML pages (in byte order)"
times=$(unzip -Z -T "$zip" | awk 'NF >= 8 && $1 ~ /^-/ {print $7}' | sort -u)
[ "$times" = "20000101.000000" ] || fail "file times in the zip are not all 2000-01-01: $times"

mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
cmp "$module" "$work/unpacked/tarvel.fmx" || fail "the packed tarvel.fmx is not the built one"
{ echo LICENSE; cat "$work/sources.txt"; } | while read -r file; do
    cmp "$source_dir/$file" "$work/unpacked/$file" || fail "the packed $file differs"
done
python3 "$source_dir/tests/package/check_links.py" "$work/unpacked" >&2 ||
    fail "links of the HTML reference that do not resolve inside the zip"

# ---- the unpacked module in the host emulator ------------------------------------------------
unpacked=$(windows_path "$work/unpacked/tarvel.fmx")
"$wine_run" "$fmhost" --list "$unpacked" Tarv-Version >"$work/fmhost.txt" 2>&1 ||
    { cat "$work/fmhost.txt" >&2; fail "fmhost could not run the unpacked tarvel.fmx"; }
cat "$work/fmhost.txt"
grep -qx 'Plug-in: Quillon tarvel 2' "$work/fmhost.txt" || fail "not listed as Quillon tarvel 2"
grep -qx 'External functions (15):' "$work/fmhost.txt" || fail "the listing does not count 15 functions"
grep -qxF "External(\"Tarv-Version\", \"\") = \"tarvel v$version\"" "$work/fmhost.txt" ||
    fail "Tarv-Version does not answer tarvel v$version, the version in the zip's name"
# Every listed function has its page in the packed reference, and there is no other page.
sed -n 's/^  [0-9][0-9]*  \(Tarv-[A-Za-z]*\)$/docs\/functions\/\1.md/p' "$work/fmhost.txt" |
    LC_ALL=C sort >"$work/pages-expected.txt"
[ "$(wc -l <"$work/pages-expected.txt")" -eq 15 ] || fail "fifteen function names were not listed"
grep '^docs/functions/.*\.md$' "$work/listed.txt" >"$work/pages-listed.txt" || true
diff -u "$work/pages-expected.txt" "$work/pages-listed.txt" >&2 ||
    fail "the packed reference does not have exactly one page per listed function"
echo "package OK: $(basename "$zip"), $(wc -l <"$work/listed.txt") files"
