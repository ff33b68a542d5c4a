#!/bin/sh
# The release package: scripts/package.sh run in two clones of one commit gives byte-identical
# zips, named with the module's version, every entry dated by the release commit; files that
# git does not track stay out, and a changed tracked file makes it refuse, unless
# --allow-dirty, which packages the change under a -dirty name; the zip opens into one folder,
# tarvel-<version>/, holding exactly tarvel.fmx, LICENSE.txt and CHANGES.txt (CR LF line ends,
# for Notepad; the change log's newest entry is this version's, dated with the release
# commit's day) and the reference as HTML pages, index.html the start page, with a page for
# every function the module lists and no fmhost or design page; the start page says how to
# install and links every function page and the supported systems, which link the Wine page,
# and no function page names Wine, Linux or macOS outside a link; every link and picture of
# the HTML pages resolves inside the zip; the symbols zip beside it holds exactly the
# module's debug file, from which scripts/crash-address.sh reads an offset, or an address and
# a base, as the function, file and line; and the tarvel.fmx unpacked from the package loads
# in the host emulator under Wine with its name and one function per number of
# plugin/handlers.h.
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

# ---- two clones, one result ---------------------------------------------------------------
# Between the runs the time moves on and the staged files would get other times and
# permissions if the script did not fix them. Files that git does not track stay out.
sh "$source_dir/tests/package/snapshot.sh" "$source_dir" "$work/clone"
git clone -q "$work/clone" "$work/another/clone"
: >"$work/clone/docs/functions/scratch-notes.md" && : >"$work/clone/docs/.swp-file"
TARVEL_MODULE=$module "$work/clone/scripts/package.sh" "$work/first" >/dev/null
sleep 1
(umask 077 && TARVEL_MODULE=$module "$work/another/clone/scripts/package.sh" "$work/second" >/dev/null)
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
functions=$(grep -c '^ *kTarv[A-Za-z]* = [0-9]*,$' "$source_dir/plugin/handlers.h")
[ "$functions" -gt 0 ] || fail "no function numbers in plugin/handlers.h"
zip=$work/first/tarvel-$version.zip
[ -f "$zip" ] || fail "no tarvel-$version.zip; the script wrote: $(ls "$work/first")"
cmp "$zip" "$work/second/tarvel-$version.zip" ||
    fail "two runs of package.sh gave different zips"
symbols=$work/first/tarvel-$version-symbols.zip
cmp "$symbols" "$work/second/tarvel-$version-symbols.zip" ||
    fail "two runs of package.sh gave different symbols zips"

# ---- contents ------------------------------------------------------------------------------
top=tarvel-$version
(cd "$work/another/clone/docs" && find . -type f ! -name fmhost.md ! -name design.md | sed 's|^\./||') >"$work/sources.txt"
# README.md's HTML page is index.html, what a browser opens first in a folder; every other
# Markdown page becomes its HTML page; pictures stay as they are.
sed -e 's|^README\.md$|index.html|' -e 's|\.md$|.html|' "$work/sources.txt" >"$work/pages.txt"
{ echo CHANGES.txt; echo LICENSE.txt; echo tarvel.fmx; cat "$work/pages.txt"; } | sed "s|^|$top/|" | LC_ALL=C sort \
    >"$work/expected.txt"
unzip -Z1 "$zip" >"$work/listed.txt"
diff -u "$work/expected.txt" "$work/listed.txt" >&2 ||
    fail "the zip does not hold exactly $top/ with tarvel.fmx, LICENSE.txt and the HTML reference (in byte order)"
# Every entry carries the release commit's time, to the two seconds a zip keeps.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}
released=$(TZ=UTC date -d "@$((epoch - epoch % 2))" +%Y%m%d.%H%M%S)
for packed in "$zip" "$symbols"; do
    times=$(unzip -Z -T "$packed" | awk 'NF >= 8 && $1 ~ /^-/ {print $7}' | sort -u)
    [ "$times" = "$released" ] || fail "$(basename "$packed"): file times $times, not the commit's $released"
done
[ "$(unzip -Z1 "$symbols")" = "tarvel-$version-symbols/tarvel.fmx.debug" ] ||
    fail "the symbols zip does not hold exactly tarvel-$version-symbols/tarvel.fmx.debug: $(unzip -Z1 "$symbols")"
unzip -p "$symbols" "tarvel-$version-symbols/tarvel.fmx.debug" | cmp - "$module.debug" ||
    fail "the symbols zip's tarvel.fmx.debug is not the module's debug file"

mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
unpacked_dir=$work/unpacked/$top
cmp "$module" "$unpacked_dir/tarvel.fmx" || fail "the packed tarvel.fmx is not the built one"
cr=$(printf '\r')
[ "$(grep -c "$cr\$" "$unpacked_dir/LICENSE.txt")" -eq "$(wc -l <"$source_dir/LICENSE")" ] ||
    fail "LICENSE.txt has lines that do not end in CR LF"
tr -d '\r' <"$unpacked_dir/LICENSE.txt" | cmp - "$source_dir/LICENSE" ||
    fail "LICENSE.txt does not say what LICENSE says"
[ "$(grep -c "$cr\$" "$unpacked_dir/CHANGES.txt")" -eq "$(wc -l <"$source_dir/CHANGES.txt")" ] ||
    fail "CHANGES.txt has lines that do not end in CR LF"
# The newest entry is this version's, dated with the release commit's day and underlined.
newest=$(tr -d '\r' <"$unpacked_dir/CHANGES.txt" | grep -m1 -A1 '^[0-9][0-9.]*[,]*')
heading="$version, $(TZ=UTC date -d "@$epoch" +%Y-%m-%d)"
[ "$newest" = "$(printf '%s\n%s' "$heading" "$(printf '%s' "$heading" | tr -c '' -)")" ] ||
    fail "the newest entry of CHANGES.txt is headed \"$newest\", not \"$heading\", underlined"
grep -v '\.md$' "$work/sources.txt" | while read -r file; do
    cmp "$source_dir/docs/$file" "$unpacked_dir/$file" || fail "the packed $file differs"
done
python3 "$source_dir/tests/package/check_links.py" "$unpacked_dir" >&2 ||
    fail "links of the HTML reference that do not resolve inside the zip"
# The start page says what the plug-in is and how to install it, and leads to the functions.
start=$unpacked_dir/index.html
grep -q 'plug-in for FileMaker Pro' "$start" || fail "index.html does not say what tarvel is"
grep -q '<code>System</code> folder' "$start" || fail "index.html does not say where tarvel.fmx goes"
grep -q 'href="installing.html"' "$start" || fail "index.html does not lead to the installing page"
grep -q 'href="supported-systems.html"' "$start" || fail "index.html does not lead to the supported systems"
grep -q 'href="wine.html"' "$unpacked_dir/supported-systems.html" ||
    fail "supported-systems.html does not lead to the Wine page"
# A function page speaks of Windows; what only Wine users need is on the Wine page, and the
# object manager's paths are on the page of the path rules.
for page in "$unpacked_dir"/functions/*.html; do
    said=$(tr '\n' ' ' <"$page" | sed -e 's|<a [^>]*>[^<]*</a>||g' -e 's|<[^>]*>||g' |
        grep -o -i -w -E '.{0,40}(wine|linux|macos|object manager).{0,40}' || true)
    [ -z "$said" ] || fail "$(basename "$page") names Wine, Linux, macOS or the object manager outside a link: $said"
done

# ---- only what the commit holds, unless asked ----------------------------------------------
printf '\nA local edit.\n' >>"$work/another/clone/docs/status-codes.md"
! TARVEL_MODULE=$module "$work/another/clone/scripts/package.sh" "$work/dirty" >/dev/null 2>&1 &&
    [ ! -e "$work/dirty" ] || fail "package.sh packaged a work tree with a changed docs/status-codes.md"
TARVEL_MODULE=$module "$work/another/clone/scripts/package.sh" --allow-dirty "$work/dirty" >/dev/null
unzip -p "$work/dirty/tarvel-$version-dirty.zip" "$top/status-codes.html" | grep -q 'A local edit' ||
    fail "--allow-dirty did not package the changed page as tarvel-$version-dirty.zip"

# ---- a crash address reads as function, file and line --------------------------------------
# A byte of FMExternCallProc and of a C++ function (named as nm demangles it), as the offset
# that Windows Vista and later report and as Dr. Watson's address beside the module's base.
base=0x$(i686-w64-mingw32-objdump -p "$module.debug" | sed -n 's/^ImageBase[[:space:]]*//p')
read=$(i686-w64-mingw32-nm -C "$module.debug" |
    awk '$3 == "FMExternCallProc" || (!cpp && /^[0-9a-f]+ T [A-Za-z]+\(.*\)$/ && cpp = 1)' |
    while read -r address kind function; do
        offset=$((0x$address + 3 - base))
        for where in "$(printf '%x' $offset)" "$(printf '0x%x 0x10000000' $((offset + 0x10000000)))"; do
            line=$(TARVEL_SYMBOLS=$symbols "$source_dir/scripts/crash-address.sh" $where | head -1)
            case $line in "$function at "*.cpp:[0-9]*) echo "$line" ;; *) fail "crash-address.sh $where: \"$line\", not $function" ;; esac
        done
    done)
[ "$(printf '%s\n' "$read" | grep -c .)" -eq 4 ] || fail "four crash addresses did not read as their functions: $read"

# ---- the unpacked module in the host emulator ------------------------------------------------
unpacked=$(windows_path "$unpacked_dir/tarvel.fmx")
"$wine_run" "$fmhost" --list "$unpacked" Tarv-Version >"$work/fmhost.txt" 2>&1 ||
    { cat "$work/fmhost.txt" >&2; fail "fmhost could not run the unpacked tarvel.fmx"; }
cat "$work/fmhost.txt"
grep -qx 'Plug-in: Quillon tarvel 2' "$work/fmhost.txt" || fail "not listed as Quillon tarvel 2"
grep -qx "External functions ($functions):" "$work/fmhost.txt" ||
    fail "the listing does not count the $functions functions of plugin/handlers.h"
grep -qxF "External(\"Tarv-Version\", \"\") = \"tarvel v$version\"" "$work/fmhost.txt" ||
    fail "Tarv-Version does not answer tarvel v$version, the version in the zip's name"
# Every listed function has its page in the packed reference, linked from the start page, and
# there is no other function page.
sed -n 's/^  [0-9][0-9]*  \(Tarv-[A-Za-z]*\)$/functions\/\1.html/p' "$work/fmhost.txt" |
    LC_ALL=C sort >"$work/pages-expected.txt"
[ "$(wc -l <"$work/pages-expected.txt")" -eq "$functions" ] || fail "$functions function names were not listed"
sed -n "s|^$top/\(functions/.*\.html\)\$|\1|p" "$work/listed.txt" >"$work/pages-listed.txt"
diff -u "$work/pages-expected.txt" "$work/pages-listed.txt" >&2 ||
    fail "the packed reference does not have exactly one page per listed function"
while read -r page; do
    grep -q "href=\"$page\"" "$start" || fail "index.html does not link $page"
done <"$work/pages-expected.txt"
echo "package OK: $(basename "$zip"), $(wc -l <"$work/listed.txt") files"
