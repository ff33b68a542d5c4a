#!/bin/sh
# Builds the release: dist/tarvel-<version>.zip, the package, and beside it
# tarvel-<version>-symbols.zip, the module's debug file for reading crash addresses; with
# --sign, also tarvel-<version>-signed.zip, the package with an Authenticode-signed module.
#
# The package opens into one folder, tarvel-<version>/, holding tarvel.fmx, LICENSE.txt,
# CHANGES.txt (its entry for this version dated with the release commit's day) and the
# reference rendered as HTML (docs/ without its Markdown sources): index.html, the start page,
# from docs/README.md, then the other pages, functions/ and images/. The fmhost and design
# pages stay out: they are for the plug-in's developers, and fmhost.exe is not in the package.
# The symbols zip opens into tarvel-<version>-symbols/, holding tarvel.fmx.debug, the file the
# module's debug link names.
#
# A release is a commit: only files that git tracks go in, and a work tree whose tracked
# files differ from HEAD is refused, since its package would carry the commit's name and date
# with other content. --allow-dirty packages such a tree anyway, under names marked -dirty.
#
# The unsigned package and the symbols zip are reproducible: the same commit gives the same
# bytes. The module is built reproducibly, and the zips get a fixed file order, fixed
# permissions, no extra fields, and for every entry the time of the release commit
# (SOURCE_DATE_EPOCH when set, else the commit time of the source folder's HEAD). The signed
# zip differs by the signature alone, which holds the moment of signing.
#
# usage: scripts/package.sh [--allow-dirty] [--sign FILE.pfx [--timestamp URL]] [output folder]
#   --allow-dirty    package uncommitted changes to tracked files, as tarvel-<version>-dirty*.zip
#   --sign FILE.pfx  sign tarvel.fmx with the code-signing certificate and key in FILE.pfx:
#                    a SHA-1 signature, which Windows 2000 and XP before SP3 can check, and a
#                    nested SHA-256 one for later Windows. The signed module must then pass
#                    osslsigncode verify, trusting the certificates that FILE.pfx carries and
#                    the system's CA list: an expired certificate, one not made for code
#                    signing, or one whose chain leads to no trusted root ends the run with
#                    status 1 and no signed zip
#   --timestamp URL  have both signatures timestamped by that server (needs the network), so
#                    that they stay valid after the certificate expires
#   TARVEL_SIGN_PASSWORD  the password of FILE.pfx (set it, empty for none); never given on
#                  a command line, where other users of the machine could read it
#   TARVEL_BUILD   build folder, as for demo.sh and test.sh (default: build/); the module is
#                  built (or brought up to date) in its win/ folder
#   TARVEL_MODULE  package this tarvel.fmx (and the tarvel.fmx.debug beside it) instead of
#                  building one
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
fail() { printf 'package.sh: %s\n' "$*" >&2; exit 1; }

pfx= timestamp= dist= allow_dirty=
while [ $# -gt 0 ]; do
    case $1 in
        --allow-dirty) allow_dirty=1; shift ;;
        --sign) [ $# -ge 2 ] || fail "--sign needs a .pfx file"; pfx=$2; shift 2 ;;
        --timestamp) [ $# -ge 2 ] || fail "--timestamp needs a URL"; timestamp=$2; shift 2 ;;
        -*) fail "unknown option $1 (usage: package.sh [--allow-dirty] [--sign FILE.pfx [--timestamp URL]] [output folder])" ;;
        *) [ -z "$dist" ] || fail "more than one output folder: $dist and $1"; dist=$1; shift ;;
    esac
done
dist=${dist:-$root/dist}
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
# A signed zip left by an earlier run would sit beside this run's zips as if it were theirs,
# whether this run signs, fails to sign, or does not sign at all.
rm -f "$dist/tarvel-$version-signed.zip" "$dist/tarvel-$version-dirty-signed.zip"
if [ -n "$pfx" ]; then
    [ -f "$pfx" ] || fail "no certificate file $pfx"
    pfx=$(cd "$(dirname "$pfx")" && pwd)/$(basename "$pfx")
    [ "${TARVEL_SIGN_PASSWORD+set}" = set ] ||
        fail "--sign: set TARVEL_SIGN_PASSWORD to the password of $pfx (empty for none)"
elif [ -n "$timestamp" ]; then
    fail "--timestamp goes with --sign"
fi
# The same locale on every machine, whatever the caller's: zip reads file names by it.
export LC_ALL=C.UTF-8

git -C "$root" rev-parse --verify -q HEAD >/dev/null ||
    fail "$root is no git checkout with a commit: a release is made from a commit"
changed=$(git -C "$root" status --porcelain --untracked-files=no)
name=tarvel-$version
if [ -n "$changed" ]; then
    [ -n "$allow_dirty" ] ||
        fail "files differ from the commit; commit them, or package them with --allow-dirty:
$changed"
    name=tarvel-$version-dirty
fi

# The release's date. A zip keeps local times to two seconds, without a zone: the entries
# carry the commit's UTC time, rounded down to even seconds, so that unzip shows it exactly.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
case $epoch in
    *[!0-9]*) fail "SOURCE_DATE_EPOCH is not a number of seconds: $epoch" ;;
esac
# A zip's dates run from 1980 to 2107.
[ "$epoch" -ge 315532800 ] && [ "$epoch" -lt 4354819200 ] ||
    fail "the release date $epoch is outside what a zip can hold (1980 to 2107)"
epoch=$((epoch - epoch % 2))

if [ -n "${TARVEL_MODULE:-}" ]; then
    module=$TARVEL_MODULE
    { command -v zip && /usr/bin/python3 -c 'import markdown' &&
      { [ -z "$pfx" ] || { command -v osslsigncode && command -v openssl; }; }; } >/dev/null 2>&1 ||
        "$root/scripts/install-deps.sh"
else
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build/win" -j"$(nproc)" --target tarvel >/dev/null
    module=$build/win/bin/tarvel.fmx
fi
[ -f "$module" ] || fail "no module at $module"
[ -f "$module.debug" ] || fail "no debug file at $module.debug"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/package/tarvel-$version
mkdir -p "$folder" "$stage/symbols/tarvel-$version-symbols"
cp "$module" "$folder/tarvel.fmx"
cp "$module.debug" "$stage/symbols/tarvel-$version-symbols/tarvel.fmx.debug"
# Notepad before Windows 10 shows a text's lines only when they end in CR LF.
sed 's/$/\r/' "$root/LICENSE" >"$folder/LICENSE.txt"
# This version's heading gets the release's day, and its underline the heading's new length.
released=$(TZ=UTC date -d "@$epoch" +%Y-%m-%d)
awk -v version="$version" -v released="$released" '
    heading && /^-+$/ { $0 = sprintf("%" heading "s", ""); gsub(/ /, "-") }
    { heading = 0 }
    $0 "" == version "" { $0 = version ", " released; heading = length($0) }
    { print $0 "\r" }' "$root/CHANGES.txt" >"$folder/CHANGES.txt"
# The reference's files that git tracks, as the work tree has them (the same as the commit's
# unless --allow-dirty let changes through); notes and editor files beside them stay out.
(cd "$root" && git ls-files -z -- docs | tar --null --ignore-failed-read -T - -cf -) |
    tar -C "$stage" -xf -
cp -R "$stage/docs/." "$folder/"
rm -f "$folder/fmhost.md" "$folder/design.md"
# Debian's python3-markdown, whatever python3 comes first on the PATH.
/usr/bin/python3 "$root/tools/render_docs.py" "$folder" >/dev/null
find "$folder" -name '*.md' -exec rm {} +

mkdir -p "$dist"
dist=$(cd "$dist" && pwd)

# zip_folder FOLDER ZIP: FOLDER's files into ZIP under their names relative to FOLDER's parent.
# Nothing of the machine or the moment goes in: permissions and times are fixed (the times in
# UTC, since zip stores local time), and the names are added in byte order.
zip_folder() {
    find "$1" -type d -exec chmod 755 {} +
    find "$1" -type f -exec chmod 644 {} +
    find "$1" -exec touch -h -d "@$epoch" {} +
    rm -f "$2" "$2.part"
    (cd "$1/.." && find "$(basename "$1")" -type f | LC_ALL=C sort |
        TZ=UTC zip -X -D -q -@ "$2.part")
    mv "$2.part" "$2"
    printf '%s\n' "$2"
}

zip_folder "$folder" "$dist/$name.zip"
zip_folder "$stage/symbols/tarvel-$version-symbols" "$dist/$name-symbols.zip"

if [ -n "$pfx" ]; then
    # First SHA-1, then SHA-256 nested in it: Windows before XP SP3 reads only the first.
    # The password reaches osslsigncode on its standard input; for a certificate without
    # one, -readpass stays out, since osslsigncode refuses to read an empty password.
    sign() {
        printf '%s' "$TARVEL_SIGN_PASSWORD" |
            osslsigncode sign -pkcs12 "$pfx" ${TARVEL_SIGN_PASSWORD:+-readpass /dev/stdin} -h "$1" $2 \
                -n "Quillon tarvel $version" ${timestamp:+"$3"} ${timestamp:+"$timestamp"} \
                -in "$4" -out "$5" >"$stage/sign.log" 2>&1 ||
            { cat "$stage/sign.log" >&2; fail "osslsigncode could not sign with $1"; }
    }
    # The SHA-1 signature takes an Authenticode timestamp, the nested one an RFC 3161 one.
    sign sha1 "" -t "$folder/tarvel.fmx" "$stage/sha1.fmx"
    sign sha256 -nest -ts "$stage/sha1.fmx" "$stage/signed.fmx"
    # osslsigncode signs with an expired certificate, or one made for another purpose, as
    # readily as with a good one; its verify command is what checks them, as Windows would.
    # It trusts the certificates that the signature carries (those of FILE.pfx), so that a
    # chain given with the certificate counts, and the system's CA list; a certificate alone
    # is no trust anchor, unless it signed itself.
    osslsigncode extract-signature -pem -in "$stage/signed.fmx" -out "$stage/signature.pem" \
        >"$stage/verify.log" 2>&1 &&
        openssl pkcs7 -print_certs -in "$stage/signature.pem" -out "$stage/trusted.pem" \
        >>"$stage/verify.log" 2>&1 ||
        { cat "$stage/verify.log" >&2; fail "could not read the certificates of the signature"; }
    system_cas=/etc/ssl/certs/ca-certificates.crt
    [ ! -f "$system_cas" ] || cat "$system_cas" >>"$stage/trusted.pem"
    osslsigncode verify -CAfile "$stage/trusted.pem" -TSA-CAfile "$stage/trusted.pem" \
        -in "$stage/signed.fmx" >"$stage/verify.log" 2>&1 ||
        { reason=$(sed -n 's/^[[:space:]]*\(Error: .*\|Unsupported .*\)$/\1/p' "$stage/verify.log" |
              sort -u | paste -s -d ';' -)
          [ -n "$reason" ] || cat "$stage/verify.log" >&2
          fail "the signed tarvel.fmx does not verify${reason:+ ($reason)}: the certificate in $pfx must be valid now, be made for code signing, and come with its chain up to a root unless the system trusts that root. No signed zip was written."; }
    mv "$stage/signed.fmx" "$folder/tarvel.fmx"
    zip_folder "$folder" "$dist/$name-signed.zip"
fi
