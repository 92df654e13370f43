#!/usr/bin/env bash
# Every PC's journal on a private PostgreSQL cluster, through a PC's own role over TLS:
#   - 10,000 journal lines sent by one `zenda sync`;
#   - the other PCs' writes heard by this PC: the first time, and with nothing new;
#   - one device's history among 1,000,000 lines: at the server (EXPLAIN ANALYZE of the query
#     `journal --team --serial` runs) and as a whole `zenda journal --team --serial N` process;
#   - the whole department's journal streamed to a file (lines a second, peak memory), and the
#     window's department view over it (its first screen, its pauses);
#   - an action (`zenda rtc`, simulator at 9600 bit/s) with no server, and with a server that
#     accepts the connection and never answers.
# usage: bench/sync.sh [LINES] [SERVER_LINES]
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-10000} server_lines=${2:-1000000}
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
export XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config PGPASSFILE=$dir/pgpass
zenda=$build/cli/zenda
tests/pg_cluster.sh start "$state" >/dev/null
pg=$(cat "$state")
port=$(cat "$pg/port")
admin="host=$pg port=$port user=postgres dbname"
psql -qAtX -d "$admin=postgres" -c "CREATE DATABASE bench"
ZENDA_TEAM_DB="$admin=bench" "$zenda" team setup >/dev/null
passline=$(ZENDA_TEAM_DB="$admin=bench" "$zenda" --json team add-pc bench-pc |
  python3 -c 'import json, sys; print(json.load(sys.stdin)["passfile"])')
echo "localhost:${passline#*:}" >"$PGPASSFILE"
chmod 600 "$PGPASSFILE"
export ZENDA_TEAM_DB="host=localhost port=$port dbname=bench user=bench-pc sslmode=verify-full sslrootcert=$pg/root.crt"
ms() { echo "($2 - $1) * 1000" | bc -l | xargs printf '%.1f'; }

# A journal as zenda writes it: LINES reads and writes of many devices, each with its identity.
journal="$XDG_DATA_HOME/ЛЮМРАД/zenda-init/journal.csv"
mkdir -p "$(dirname "$journal")"
python3 - "$journal" "$lines" <<'PY'
import secrets, sys
path, n = sys.argv[1], int(sys.argv[2])
with open(path, "w", encoding="utf-8", newline="\r\n") as f:
    f.write("time,action,port,model,serial,address,outcome,changes,backup,traffic,written,id\n")
    for i in range(n):
        act = "rtc" if i % 3 else "read"
        changes = "Автокоррекция RTC: 5 сек -> 3 сек" if act == "rtc" else ""
        f.write(f'"2026-12-09T{i // 3600 % 24:02d}:{i // 60 % 60:02d}:{i % 60:02d}+03:00","{act}","COM1 -> /dev/ttyUSB0",'
                f'"ZENDA1","{1000 + i % 5000}","5","выполнено","{changes}","","","","{secrets.token_hex(16)}"\n')
PY
t0=$(date +%s.%N)
sent=$("$zenda" --json sync)
t1=$(date +%s.%N)
echo "sync: $lines journal lines sent in $(ms "$t0" "$t1") ms ($sent)"

# The department's journal grown to SERVER_LINES lines of 20 other PCs, 60,000 devices.
psql -qAtX -d "$admin=bench" -c "INSERT INTO zenda.journal (pc, line_id, at, time, action, serial, outcome, action_id)
  SELECT 'pc' || (g % 20), 'b' || g, now() - g * interval '1 second', to_char(now() - g * interval '1 second',
         'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), CASE WHEN g % 4 = 0 THEN 'init' ELSE 'read' END, (g % 60000)::text,
         'выполнено', md5(g::text)
  FROM generate_series(1, $server_lines) g; ANALYZE zenda.journal"
# This PC hears the others' writes (a quarter of those lines): the first time all, then what is new.
t0=$(date +%s.%N)
first=$("$zenda" --json sync)
t1=$(date +%s.%N)
again=$("$zenda" --json sync)
t2=$(date +%s.%N)
echo "hearing: the first sync after those lines $(ms "$t0" "$t1") ms ($first); the next $(ms "$t1" "$t2") ms ($again)"
serial=4242
query="SELECT j.pc, j.time, j.action FROM (SELECT * FROM zenda.journal WHERE serial = '$serial' UNION ALL
    SELECT * FROM zenda.journal WHERE written_serial = $serial AND serial <> '$serial') j
  WHERE NOT (j.action_id <> '' AND j.outcome = 'x' AND EXISTS (SELECT 1 FROM zenda.journal e
    WHERE e.pc = j.pc AND e.action_id = j.action_id AND e.line_id <> j.line_id))
  ORDER BY j.at DESC NULLS LAST, j.time DESC, j.line_id LIMIT 100000"
server=$(psql -qAtX -d "$admin=bench" -c "SET jit = off; EXPLAIN (ANALYZE, FORMAT JSON) $query" |
  python3 -c 'import json, sys; print(json.load(sys.stdin)[0]["Execution Time"])')
times=()
for _ in 1 2 3 4 5; do
  t0=$(date +%s.%N)
  n=$("$zenda" --json journal --team --serial $serial | python3 -c 'import json, sys; print(len(json.load(sys.stdin)["journal"]))')
  t1=$(date +%s.%N)
  times+=("$(ms "$t0" "$t1")")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
echo "history: № $serial among $(psql -qAtX -d "$admin=bench" -c 'SELECT count(*) FROM zenda.journal') lines: $n lines," \
  "$(printf '%.2f' "$server") ms at the server, zenda journal --team --serial as a process $median ms (median of 5: ${times[*]})"

# The whole department's journal, streamed to a file: as text and as JSON, lines a second and the
# process's peak memory (goals: 200,000 lines a second, under 64 MB).
for format in text json; do
  args=(journal --team)
  [ $format = json ] && args=(--json journal --team)
  t0=$(date +%s.%N)
  /usr/bin/time -f %M -o "$dir/rss" "$zenda" "${args[@]}" >"$dir/all.$format"
  t1=$(date +%s.%N)
  n=$(psql -qAtX -d "$admin=bench" -c 'SELECT count(*) FROM zenda.journal')
  echo "department's journal, $format: $n lines in $(ms "$t0" "$t1") ms," \
    "$(echo "$n / ($t1 - $t0)" | bc) lines a second, peak memory $(($(cat "$dir/rss") / 1024)) MB," \
    "$(($(stat -c %s "$dir/all.$format") / 1048576)) MB written"
done
[ -x "$build/bench/bench_journal" ] && "$build/bench/bench_journal" --team

# An action with no server, then with one that accepts and never answers.
"$build/sim/zenda-sim" --baud 9600 --link "$dir/line" --quiet >/dev/null 2>&1 &
pids+=($!)
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8); print(s.getsockname()[1], flush=True); time.sleep(600)' \
  >"$dir/silent" &
pids+=($!)
for _ in $(seq 100); do [ -s "$dir/silent" ] && [ -e "$dir/line" ] && break; sleep 0.05; done
rtc() {  # the median of 5 runs of zenda rtc, in ms
  local t=() t0 t1
  for i in 1 2 3 4 5; do
    t0=$(date +%s.%N)
    "$zenda" --baud 9600 --port "$dir/line" --yes rtc $((i % 3)) >/dev/null 2>&1
    t1=$(date +%s.%N)
    t+=("$(ms "$t0" "$t1")")
  done
  printf '%s\n' "${t[@]}" | sort -n | sed -n 3p
}
unset ZENDA_TEAM_DB
none=$(rtc)
export ZENDA_TEAM_DB="host=127.0.0.1 port=$(cat "$dir/silent") dbname=x"
hanging=$(rtc)
echo "an action (zenda rtc, 9600 bit/s): $none ms without a server, $hanging ms with a server that never answers" \
  "(the action itself is done and journaled before the push; the push is given 1500 ms)"
