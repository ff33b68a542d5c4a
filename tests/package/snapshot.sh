#!/bin/sh
# A clean git checkout at <folder> of the source folder's files as they are now (tracked or
# new, without what git ignores), committed at the time of the source's HEAD: package.sh
# refuses uncommitted changes, so the package tests run it there, on the files under test.
# usage: snapshot.sh <source dir> <folder>
set -eu
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$1" log -1 --format=%ct)}
mkdir -p "$2"
(cd "$1" && git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -C "$2" -xf -
cd "$2" && git -c init.defaultBranch=release init -q && git add -A
GIT_AUTHOR_DATE="@$epoch +0000" GIT_COMMITTER_DATE="@$epoch +0000" git -c user.name=tarvel \
    -c user.email=tarvel@example.invalid -c commit.gpgsign=false commit -q -m snapshot
