#!/bin/sh
# Installs what building and testing needs on Debian 12, as root, if it is missing, and the
# packages named as arguments for a script that needs more (scripts/screenshot.sh).
# usage: install-deps.sh [package...]
set -eu
need=""
for p in cmake make python3 python3-markdown clang libclang-rt-14-dev g++ googletest libgtest-dev \
         libbenchmark-dev g++-mingw-w64-i686 wine wine32:i386 zip unzip locales osslsigncode openssl "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || need="$need $p"
done
if [ -n "$need" ]; then
    echo "installing:$need"
    case " $(dpkg --print-foreign-architectures) " in *" i386 "*) ;; *) dpkg --add-architecture i386 ;; esac
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need >/dev/null
fi
