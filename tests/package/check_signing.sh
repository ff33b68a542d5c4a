#!/bin/sh
# Signing on request: scripts/package.sh --sign, with throwaway certificates made here by
# openssl, writes tarvel-<version>-signed.zip beside the unsigned zip, which stays the bytes an
# unsigned run gives, only for a certificate whose signature verifies: one valid now, made for
# code signing, with its chain in the .pfx, with a password or without one. An expired
# certificate, one made for TLS servers only, and one whose chain is missing end the run with
# status 1, the reason, and no signed zip: not even one an earlier run left. osslsigncode
# verifies the signed module's two signatures, SHA-1 first and SHA-256 nested, against the
# certificate's CA; one byte changed fails the verification; and the signed module loads and
# answers in the host emulator under Wine. The password reaches package.sh only through
# TARVEL_SIGN_PASSWORD.
#
# usage: check_signing.sh <source dir> <tarvel.fmx> <fmhost.exe> <wine-run.sh>
set -eu
source_dir=$1
module=$2
fmhost=$3
wine_run=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }
sh "$source_dir/tests/package/snapshot.sh" "$source_dir" "$work/source"
package=$work/source/scripts/package.sh
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
signed_zip=$work/dist/tarvel-$version-signed.zip

# ---- a CA, and the certificates it issues ----------------------------------------------------
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 1 -subj '/CN=tarvel test CA' \
    -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign >openssl.log 2>&1 ||
    { cat openssl.log >&2; fail "openssl could not make the test CA"; }
# certificate NAME DAYS PURPOSE CHAIN PASSWORD: NAME.pfx, a certificate valid for DAYS (-1: it
# expired a day ago) for PURPOSE, with the CA's certificate when CHAIN is "chain". OpenSSL 3.0
# takes a negative -days, 3.4 and later only the dates.
certificate() {
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=tarvel test $1" &&
    printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$1.ext" &&
    { openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days "$2" -extfile "$1.ext" -out "$1.pem" ||
      openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -extfile "$1.ext" -out "$1.pem" \
          -not_before "$(date -u -d "$2 days 1 day ago" +%Y%m%d%H%M%SZ)" -not_after "$(date -u -d "$2 days" +%Y%m%d%H%M%SZ)"; } &&
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" $([ "$4" != chain ] || echo -certfile ca.pem) \
        -out "$1.pfx" -passout "pass:$5"
} >>openssl.log 2>&1

# ---- the signed zip beside the unsigned one, or no signed zip ----------------------------------
# A stand-in osslsigncode first on the PATH notes each command line package.sh gives it.
mkdir bin
cat >bin/osslsigncode <<END
#!/bin/sh
printf '%s\n' "\$*" >>"$work/commands.txt"
exec "$(command -v osslsigncode)" "\$@"
END
chmod +x bin/osslsigncode
# An unsigned run removes the signed zip an earlier run left.
mkdir unsigned && : >"unsigned/tarvel-$version-signed.zip"
TARVEL_MODULE=$module "$package" "$work/unsigned" >/dev/null
[ ! -e "unsigned/tarvel-$version-signed.zip" ] || fail "an unsigned run left an earlier signed zip"
mkdir dist
# name        days purpose      chain outcome (signs, or a word of the refusal)  password
while read -r name days purpose chain outcome password <&3; do
    certificate "$name" "$days" "$purpose" "$chain" "$password" ||
        { cat openssl.log >&2; fail "openssl could not make the certificate $name"; }
    : >commands.txt; : >"$signed_zip"  # the signed zip as an earlier run may have left it
    status=0; PATH=$work/bin:$PATH TARVEL_MODULE=$module TARVEL_SIGN_PASSWORD=$password \
        "$package" --sign "$name.pfx" "$work/dist" >/dev/null 2>"$name.err" </dev/null || status=$?
    if [ "$outcome" = signs ]; then
        [ "$status" -eq 0 ] || { cat "$name.err" >&2; fail "$name: package.sh did not sign"; }
        cmp "$work/dist/tarvel-$version.zip" "$work/unsigned/tarvel-$version.zip" ||
            fail "$name: signing changed the unsigned zip"
        [ "$(unzip -Z1 "$signed_zip")" = "$(unzip -Z1 "$work/unsigned/tarvel-$version.zip")" ] ||
            fail "$name: the signed zip does not hold the files of the unsigned one"
        rm -rf signed && unzip -q "$signed_zip" "tarvel-$version/tarvel.fmx" -d signed
        osslsigncode verify -CAfile ca.pem -in "signed/tarvel-$version/tarvel.fmx" >verify.txt 2>&1 ||
            { cat verify.txt >&2; fail "$name: osslsigncode does not verify the signed module"; }
    else
        [ "$status" -eq 1 ] && grep -q "$outcome" "$name.err" && [ ! -e "$signed_zip" ] ||
            { cat "$name.err" >&2; fail "$name: not refused with \"$outcome\", status 1 and no signed zip (status $status)"; }
    fi
    [ "$(grep -c '^sign ' commands.txt)" -eq 2 ] || fail "$name: package.sh did not sign twice: $(cat commands.txt)"
    [ -z "$password" ] || ! grep -qF "$password" commands.txt || fail "$name: the password was on osslsigncode's command line"
done 3<<END
no-password   1    codeSigning  chain signs
expired       -1   codeSigning  chain expired                                       secret
server-only   1    serverAuth   chain purpose                                       secret
no-chain      1    codeSigning  none  issuer                                        secret
signer        1    codeSigning  chain signs                                         not on any command line
END
signed=$work/signed/tarvel-$version/tarvel.fmx

# ---- both signatures verify against the CA, and a changed byte does not ------------------------
digests=$(sed -n 's/^Message digest algorithm  *: *\([A-Z0-9]*\).*/\1/p' verify.txt | tr '\n' ' ')
oks=$(grep -c '^Signature verification: ok' verify.txt || true)
[ "$digests" = "SHA1 SHA256 " ] && [ "$oks" -eq 2 ] ||
    { cat verify.txt >&2; fail "not a SHA-1 then a SHA-256 signature, both verified: digests $digests, $oks verified"; }
python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[len(d) // 3] ^= 1
open(sys.argv[2], "wb").write(d)' "$signed" tampered.fmx
! osslsigncode verify -CAfile ca.pem -in tampered.fmx >tampered.txt 2>&1 ||
    { cat tampered.txt >&2; fail "the module with one byte changed still verifies"; }

# ---- the signed module in the host emulator ------------------------------------------------------
windows_path=$(printf 'Z:%s' "$signed" | tr '/' '\\')
"$wine_run" "$fmhost" "$windows_path" Tarv-Version >fmhost.txt 2>&1 ||
    { cat fmhost.txt >&2; fail "fmhost could not run the signed tarvel.fmx"; }
grep -qxF "External(\"Tarv-Version\", \"\") = \"tarvel v$version\"" fmhost.txt ||
    { cat fmhost.txt >&2; fail "the signed tarvel.fmx does not answer Tarv-Version"; }
echo "signed OK: $(basename "$signed_zip"), $digests signatures verified"
