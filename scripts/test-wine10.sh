#!/bin/sh
# Runs the Wine half of the test suite under Wine 10, the Wine of Debian 13, twice: in a 32-bit
# Windows prefix, and in a 64-bit one, where the 32-bit plug-in and its host run under WoW64 as
# FileMaker 6 does on today's 64-bit Windows. What is tested is this system's build (the
# module that ships, built on Debian 12); only Wine changes. Every test of the build's win/
# folder runs, the package checks included, but the PE checks (pe.*): they read the module's
# file with this system's tools and run nothing under Wine, and Debian 13's objdump prints
# the tables they read in another layout.
#
# Wine 10 comes from a Debian 13 root made with debootstrap from Debian's mirror, inside the
# build folder (git ignores it): nothing is downloaded but Debian packages. The root, the
# source folder and the build folder are mounted in a mount namespace of the script's own, so
# the mounts go with it and nothing outside ever sees them. Needs root. Not part of .ci/run.
#
# usage: scripts/test-wine10.sh [extra ctest arguments]
#   TARVEL_BUILD          build folder, as for test.sh (default: build/)
#   TARVEL_DEBIAN_MIRROR  the Debian mirror (default: http://deb.debian.org/debian)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_BUILD:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
mirror=${TARVEL_DEBIAN_MIRROR:-http://deb.debian.org/debian}
wine10=$build/wine10
system=$wine10/root
export LC_ALL=C.UTF-8

# ---- this system's build, as test.sh makes it --------------------------------------------------
"$root/scripts/install-deps.sh" debootstrap
cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win" -j"$(nproc)"

# ---- the Debian 13 root ----------------------------------------------------------------------
# What the Wine tests need there: Wine in both architectures, CTest, and the tools of the
# package checks (python3-markdown, zip, the signing tools, git, from whose commits the package
# is built, and the module's binutils, which read a crash address). The root notes the list it
# has, and takes any package added to it since.
packages='wine wine32:i386 wine64 cmake python3 python3-markdown zip unzip osslsigncode openssl'
packages="$packages git binutils-mingw-w64-i686"
if [ ! -x "$system/usr/bin/apt-get" ]; then
    rm -rf "$system"
    mkdir -p "$wine10"
    echo "test-wine10.sh: making a Debian 13 root in $system"
    debootstrap --variant=minbase trixie "$system" "$mirror" >"$wine10/debootstrap.log" 2>&1 ||
        { tail -20 "$wine10/debootstrap.log" >&2; echo "test-wine10.sh: debootstrap failed" >&2; exit 1; }
fi
if [ "$(cat "$system/.tarvel-ready" 2>/dev/null)" != "$packages" ]; then
    chroot "$system" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $packages" \
        >"$wine10/install.log" 2>&1 ||
        { tail -20 "$wine10/install.log" >&2; echo "test-wine10.sh: installing Wine 10 failed" >&2; exit 1; }
    printf '%s\n' "$packages" >"$system/.tarvel-ready"
fi

# The package check dates its zips by the release commit, which git knows out here.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

# ---- in the root, with its mounts in a namespace of their own ----------------------------------
# The script's part that runs in the root: one prefix per architecture, created afresh when
# missing, then CTest over the build's tests, timed.
inside=$(cat <<'EOF'
set -eu
build=$1
shift
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
status=0
for arch in win32 win64; do
    export TARVEL_WINE_PREFIX=$build/wine10/prefix-$arch TARVEL_WINE_ARCH=$arch
    export WINEPREFIX=$TARVEL_WINE_PREFIX WINEARCH=$arch
    started=$(date +%s)
    "$TARVEL_SOURCE/scripts/wine-prefix.sh" "$WINEPREFIX" "$arch"
    wineserver -p 2>/dev/null || true
    wine cmd /c exit >/dev/null 2>&1 || true
    ready=$(date +%s)
    log=$build/wine10/ctest-$arch.log
    ctest --test-dir "$build/win" -j"$(nproc)" --output-on-failure -E '^pe\.' "$@" \
        >"$log" 2>&1 || status=1
    ended=$(date +%s)
    wineserver -k 2>/dev/null || true
    grep -A100 -E 'tests passed|The following tests' "$log" | grep -v '^$' || true
    printf 'test-wine10.sh: %s, %s prefix: %s (prefix ready in %d s, tests %d s); log: %s\n' \
        "$(wine --version)" "$arch" "$(grep -o '[0-9]*% tests passed.*' "$log" || echo 'no summary')" \
        $((ready - started)) $((ended - ready)) "$log"
done
exit $status
EOF
)
mounts="mount -t proc proc '$system/proc' && mount --rbind /dev '$system/dev'"
case $build/ in "$root"/*) folders=$root ;; *) folders="$root $build" ;; esac
# The test lists that GoogleTest's discovery writes include a module of this system's CMake.
folders="$folders $(sed -n 's/^CMAKE_ROOT:INTERNAL=//p' "$build/win/CMakeCache.txt")"
for folder in $folders; do
    mounts="$mounts && mkdir -p '$system$folder' && mount --bind '$folder' '$system$folder'"
done
unshare --mount --propagation private /bin/sh -c "$mounts && TARVEL_SOURCE='$root' chroot '$system' /bin/sh -c \"\$0\" sh \"\$@\"" \
    "$inside" "$build" "$@"
