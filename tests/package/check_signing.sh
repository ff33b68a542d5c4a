#!/bin/sh
# Signing on request: scripts/package.sh --sign, with a throwaway code-signing certificate made
# here by openssl, writes tarvel-<version>-signed.zip beside the unsigned zip, which stays the
# bytes an unsigned run gives; osslsigncode verifies the signed module's two signatures, SHA-1
# first and SHA-256 nested, against the certificate's CA; one byte changed fails the
# verification; and the signed module loads and answers in the host emulator under Wine. The
# password reaches package.sh only through TARVEL_SIGN_PASSWORD.
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

# ---- a CA and a code-signing certificate it issued, valid for a day ------------------------
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 1 -subj '/CN=tarvel test CA' \
    -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign >openssl.log 2>&1 &&
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj '/CN=tarvel test signer' \
    >>openssl.log 2>&1 &&
printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext &&
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile signer.ext \
    -out signer.pem >>openssl.log 2>&1 &&
openssl pkcs12 -export -inkey signer.key -in signer.pem -out signer.pfx -passout 'pass:not on any command line' \
    >>openssl.log 2>&1 || { cat openssl.log >&2; fail "openssl could not make the test certificate"; }

# ---- the signed zip beside the unsigned one ----------------------------------------------------
# A stand-in osslsigncode first on the PATH notes each command line package.sh gives it.
mkdir bin
cat >bin/osslsigncode <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$work/commands.txt"
exec "$(command -v osslsigncode)" "\$@"
EOF
chmod +x bin/osslsigncode
TARVEL_MODULE=$module "$source_dir/scripts/package.sh" "$work/unsigned" >/dev/null
PATH=$work/bin:$PATH TARVEL_MODULE=$module TARVEL_SIGN_PASSWORD='not on any command line' \
    "$source_dir/scripts/package.sh" --sign signer.pfx "$work/dist" >/dev/null
[ "$(grep -c '^sign ' commands.txt)" -eq 2 ] || fail "package.sh did not sign twice: $(cat commands.txt)"
! grep -q 'not on any command line' commands.txt || fail "the password was on osslsigncode's command line"
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
cmp "$work/dist/tarvel-$version.zip" "$work/unsigned/tarvel-$version.zip" ||
    fail "signing changed the unsigned zip"
signed_zip=$work/dist/tarvel-$version-signed.zip
[ "$(unzip -Z1 "$signed_zip")" = "$(unzip -Z1 "$work/unsigned/tarvel-$version.zip")" ] ||
    fail "the signed zip does not hold the files of the unsigned one"
unzip -q "$signed_zip" "tarvel-$version/tarvel.fmx" -d "$work/signed"
signed=$work/signed/tarvel-$version/tarvel.fmx

# ---- both signatures verify against the CA, and a changed byte does not ------------------------
osslsigncode verify -CAfile ca.pem -in "$signed" >verify.txt 2>&1 ||
    { cat verify.txt >&2; fail "osslsigncode does not verify the signed module"; }
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
