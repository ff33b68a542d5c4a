#!/bin/sh
# Runs a libFuzzer target for a fixed number of executions from its committed corpus.
# New inputs go to a temporary folder, so the committed corpus never changes during a test.
# usage: run-fuzzer.sh <fuzzer> <corpus dir> <runs>
set -eu
fuzzer=$1; corpus=$2; runs=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus"
exec_status=0
"$fuzzer" -runs="$runs" -seed=1 -max_len=8192 -print_final_stats=1 "$work" "$corpus" || exec_status=$?
exit $exec_status
