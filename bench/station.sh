#!/usr/bin/env bash
# The production station against paced simulators as fixtures (9600 bit/s): 5 devices on one
# fixture, then 40 on 8 fixtures; the ratio of their times (goal: at most 1.15), the devices an
# hour per fixture against the line's own limit (the exchange's wire time plus the swap), and
# the station's processor time while 8 fixtures wait for devices (goal: under 2% of one core).
# usage: bench/station.sh [SWAP_OFF_MS] [SWAP_ON_MS] [POLL_MS]
set -euo pipefail
cd "$(dirname "$0")/.."
off=${1:-500}
on=${2:-1500}
poll=${3:-1000}  # the model query's period while waiting
zenda=$PWD/build/cli/zenda
sim=$PWD/build/sim/zenda-sim
dir=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
export XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config

# fixtures N EXTRA...: N simulators, each its first device unnumbered; the ports on stdout.
start_fixtures() {
  local n=$1; shift
  for i in $(seq 1 "$n"); do
    cp "$dir/blank.hex" "$dir/image$i.hex"  # the simulator saves what is written there
    "$sim" --baud 9600 --link "$dir/f$i" --log "$dir/log$i" --fixture "$off:$on" "$@" \
      --image "$dir/image$i.hex" >/dev/null 2>&1 &
    pids+=($!)
  done
  for i in $(seq 1 "$n"); do
    for _ in $(seq 1 100); do [ -e "$dir/f$i" ] && break; sleep 0.02; done
  done
}
stop_fixtures() { kill "${pids[@]}" 2>/dev/null || true; wait "${pids[@]}" 2>/dev/null || true; pids=(); rm -f "$dir"/f* "$dir"/log*; }
ports() { for i in $(seq 1 "$1"); do printf -- '--port %s ' "$dir/f$i"; done; }

# A device as it comes from the maker: number 0.
printf '30 14 01 12 26 05 00 00 05 24 05 15 02 00 00 45 01 00 00 78 56 34 00 00 10 00 00\n' >"$dir/blank.hex"
for i in $(seq 27 71); do printf '%02X ' $((0xA0 + i)); done >>"$dir/blank.hex"

run() {  # run FIXTURES DEVICES FROM: the seconds the station took
  local n=$1 count=$2 from=$3
  start_fixtures "$n"
  local t0 t1
  t0=$(date +%s.%N)
  # shellcheck disable=SC2046
  "$zenda" --baud 9600 --json station --poll "$poll" --serial-from "$from" --count "$count" $(ports "$n") >"$dir/run.out" 2>&1
  [ -n "${ZENDA_BENCH_KEEP:-}" ] && cp "$dir/run.out" "$ZENDA_BENCH_KEEP.$n"
  t1=$(date +%s.%N)
  stop_fixtures
  echo "$t1 - $t0" | bc -l
}

one=$(run 1 5 100)
eight=$(run 8 40 200)
echo "station: swap ${off} ms off, ${on} ms on; the model query every ${poll} ms while waiting"
printf 'station: 5 devices on 1 fixture: %.2f s\n' "$one"
printf 'station: 40 devices on 8 fixtures: %.2f s\n' "$eight"
printf 'station: ratio %.3f (goal: at most 1.15)\n' "$(echo "$eight / $one" | bc -l)"

# The line's own limit: the bytes one initialization puts on the wire (10 bits each at
# 9600 bit/s), from the first fixture's log of the last run's devices, plus the swap.
start_fixtures 1
"$zenda" --baud 9600 station --serial-from 300 --count 1 --port "$dir/f1" >/dev/null 2>&1
kill "${pids[@]}"; wait "${pids[@]}" 2>/dev/null || true
# Every byte but the model queries that look for the device.
bytes=$(awk '($2 == "<-" || $2 == "->") && $0 !~ /model query|command 5/ { for (i = 3; i <= NF && $i ~ /^[0-9A-F][0-9A-F]$/; i++) n++ } END { print n }' "$dir/log1")
stop_fixtures
wire=$(echo "$bytes * 10 / 9600" | bc -l)
limit=$(echo "3600 / ($wire + ($off + $on) / 1000)" | bc -l)
printf 'station: one device: %d bytes on the wire, %.3f s at 9600 bit/s; swap %.1f s\n' "$bytes" "$wire" "$(echo "($off + $on) / 1000" | bc -l)"
# The first device is on the fixture from the start and the last is not taken off: a fixture
# of N devices makes N-1 whole cycles of a swap and an initialization.
printf 'station: devices an hour a fixture: %.0f (1 fixture), %.0f (8 fixtures); the line allows %.0f\n' \
  "$(echo "4 * 3600 / ($one - $wire)" | bc -l)" "$(echo "4 * 3600 / ($eight - $wire)" | bc -l)" "$limit"

# Waiting: 8 empty fixtures (a device is put on only after 10 minutes) for 20 seconds.
off=0 on=600000 start_fixtures 8
"$zenda" --baud 9600 station --serial-from 400 --count 16 $(ports 8) >/dev/null 2>&1 &
station=$!
sleep 2  # every fixture's first device is taken off once it is read
read -r u1 s1 < <(awk '{ print $14, $15 }' "/proc/$station/stat")
sleep 20
read -r u2 s2 < <(awk '{ print $14, $15 }' "/proc/$station/stat")
kill -INT "$station"; wait "$station" || true
tick=$(getconf CLK_TCK)
printf 'station: waiting on 8 fixtures: %.2f%% of one core (goal: under 2%%)\n' \
  "$(echo "100 * (($u2 + $s2) - ($u1 + $s1)) / $tick / 20" | bc -l)"
