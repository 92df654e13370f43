#!/usr/bin/env bash
# The long soak: the seeded soak of zenda from the test suite with ACTIONS actions (default
# 20,000; about half an hour), then its counts by action, fault and exit status.
# usage: bench/soak.sh [ACTIONS] [SEED]
set -euo pipefail
build=${ZENDA_BUILD:-build}  # another build folder: the soak keeps running while build/ is rebuilt
cd "$(dirname "$0")/.."
actions=${1:-20000}
seed=${2:-$RANDOM}
xml=$(mktemp)
trap 'rm -f "$xml"' EXIT
echo "soak: $actions actions, seed $seed (replay: ZENDA_SOAK_SEED=$seed ZENDA_SOAK_ACTIONS=$actions)"
start=$(date +%s)
ZENDA_SOAK_SEED=$seed ZENDA_SOAK_ACTIONS=$actions "$build"/tests/cli_test \
  --gtest_filter=Cli.SeededSoakKeepsTheDeviceAndTheRecordsTrue --gtest_output="xml:$xml" | grep -E 'OK|FAILED|Failure|seed' || true
echo "soak: $(( $(date +%s) - start )) s"
echo "action fault -> exit status: count"
grep -o '<property name="[^"]*" value="[0-9]*"' "$xml" | sed -e 's/<property name="//' -e 's/" value="/: /' -e 's/"$//' \
  -e 's/&gt;/>/g' | column -t -s: 
grep -q 'failures="0"' "$xml" && echo "soak: every invariant held" || { echo "soak: FAILED (seed $seed)"; exit 1; }
