#!/usr/bin/env bash
# The team's number book, on a private PostgreSQL cluster of its own: 8 station processes
# sharing 500 numbers (bench_team: duplicates, the time a number takes), then the station's
# devices an hour with --team against the local ledger, on the same paced simulators.
# usage: bench/team.sh [FIXTURES] [DEVICES]
set -euo pipefail
cd "$(dirname "$0")/.."
fixtures=${1:-4} devices=${2:-20}
build=$PWD/build
dir=$(mktemp -d)
state=$dir/cluster
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  tests/pg_cluster.sh stop "$state" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
export XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config
tests/pg_cluster.sh start "$state" >/dev/null
pg=$(cat "$state")
admin="host=$pg port=$(cat "$pg/port") user=postgres dbname"
psql -qAtX -d "$admin=postgres" -c "CREATE DATABASE bench"
ZENDA_TEAM_DB="$admin=bench" "$build/cli/zenda" team setup >/dev/null

"$build/bench/bench_team" "$admin=bench" 8 500 20001
# A plan of every number, 60,000 of them used before (a database of its own): a take does not
# grow with the plan.
psql -qAtX -d "$admin=postgres" -c "CREATE DATABASE bench_full"
ZENDA_TEAM_DB="$admin=bench_full" "$build/cli/zenda" team setup >/dev/null
"$build/bench/bench_team" "$admin=bench_full" 8 65535 1 60000 | sed 's/^team book:/team book, 65,535-number plan:/'
# The same plan, one station alone: what the server spends on a take, with no other process
# waiting for the two cores.
psql -qAtX -d "$admin=postgres" -c "CREATE DATABASE bench_one"
ZENDA_TEAM_DB="$admin=bench_one" "$build/cli/zenda" team setup >/dev/null
"$build/bench/bench_team" "$admin=bench_one" 1 65535 1 60000 | sed 's/^team book:/team book, 65,535-number plan, one station:/'
# One station alone: what a number costs it when nobody else is asking.
"$build/bench/bench_team" "$admin=bench" 1 200 21001 | sed 's/^team book:/team book, one station:/'

# Devices an hour: the same station, the same fixtures (9600 bit/s, a swap of 0.5 + 1.5 s),
# with the local ledger and with the team's server.
printf '30 14 01 12 26 05 00 00 05 24 05 15 02 00 00 45 01 00 00 78 56 34 00 00 10 00 00\n' >"$dir/blank.hex"
for i in $(seq 27 71); do printf '%02X ' $((0xA0 + i)); done >>"$dir/blank.hex"
run() {  # run FROM [--team]: devices an hour
  local from=$1 ports=()
  shift
  for i in $(seq 1 "$fixtures"); do
    cp "$dir/blank.hex" "$dir/image$i.hex"
    "$build/sim/zenda-sim" --baud 9600 --link "$dir/f$i" --quiet --fixture 500:1500 --image "$dir/image$i.hex" \
      >/dev/null 2>&1 &
    pids+=($!)
    ports+=(--port "$dir/f$i")
  done
  for i in $(seq 1 "$fixtures"); do
    for _ in $(seq 1 100); do [ -e "$dir/f$i" ] && break; sleep 0.02; done
  done
  local t0 t1
  t0=$(date +%s.%N)
  ZENDA_TEAM_DB="$admin=bench" "$build/cli/zenda" --baud 9600 station --poll 200 --serial-from "$from" \
    --count "$devices" "${ports[@]}" "$@" >"$dir/run.out" 2>&1
  t1=$(date +%s.%N)
  kill "${pids[@]}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
  pids=()
  rm -f "$dir"/f*
  grep -q "done $devices," "$dir/run.out" || { cat "$dir/run.out" >&2; exit 1; }
  echo "$devices * 3600 / ($t1 - $t0)" | bc -l
}
local_rate=$(run 30001)
team_rate=$(run 31001 --team)
printf 'station: %d devices on %d fixtures: %.0f an hour with the local ledger, %.0f with --team (%+.1f%%; goal: within 2%%)\n' \
  "$devices" "$fixtures" "$local_rate" "$team_rate" "$(echo "($team_rate - $local_rate) * 100 / $local_rate" | bc -l)"
