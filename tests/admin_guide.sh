#!/usr/bin/env bash
# The administrator's guide (docs/ADMIN.md) as it is written: its marked blocks (<!-- run: NAME -->)
# run as they stand, as root with sudo, on a cluster of Debian's postgresql-15 made by them
# (pg_createcluster, port 5433), with this build's zenda on the PATH; PCs are this build's zenda
# with data folders of their own against the simulator, over TLS with the guide's certificate.
# The set-up, a PC added, its numbers written, the backup, a restore of it (the book waits until
# the PC tells), a PC's life to its removal, and a move to a new cluster from the backup.
# usage: admin_guide.sh BUILD (exit 77: skipped, not root or no Debian PostgreSQL tools)
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
guide=$src/docs/ADMIN.md
[ "$(id -u)" = 0 ] || { echo "admin guide: not root, skipped"; exit 77; }
for tool in pg_createcluster pg_dropcluster sudo openssl; do
  command -v "$tool" >/dev/null || { echo "admin guide: no $tool, skipped"; exit 77; }
done
export PATH="$build/cli:$PATH"
work=$(mktemp -d)
sim= linked=
clear() {  # the cluster and the files the guide makes
  pg_dropcluster --stop 15 zenda >/dev/null 2>&1 || true
  rm -rf /var/backups/zenda /tmp/roles.sql /tmp/zenda.dump
}
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  [ -n "$linked" ] && rm -f /usr/local/bin/zenda
  clear
  rm -rf "$work"
}
clear  # what a killed run left
trap cleanup EXIT
# sudo keeps its own PATH: this build's zenda where an installed one would be, for the run only.
if [ ! -e /usr/local/bin/zenda ]; then
  ln -s "$build/cli/zenda" /usr/local/bin/zenda
  linked=1
fi
sudo -u postgres zenda --version >/dev/null || { echo "admin guide: the postgres user cannot run $build/cli/zenda, skipped"; exit 77; }
fail() { echo "admin guide: $*" >&2; exit 1; }
block() {  # the guide's block NAME, as written
  awk -v tag="<!-- run: $1 -->" '$0 == tag {on = 1; next} on && /^```sh/ {inside = 1; next} inside && /^```/ {exit} inside {print}' "$guide"
}
run() {  # run NAME: the block, from a folder of its own (the guide's cd stays in it)
  local text
  text=$(block "$1")
  [ -n "$text" ] || fail "no block $1 in the guide"
  echo "== $1" >&2
  (cd "$work" && bash -euo pipefail -c "$text") >"$work/$1.out" 2>&1 || fail "$1: $(cat "$work/$1.out")"
}
admin() { sudo -u postgres env ZENDA_TEAM_DB="port=5433 dbname=zenda" zenda "$@"; }

# A PC: its own data folder and password file, the guide's certificate authority, the server's
# name verified (db.example, reached at 127.0.0.1).
pc() {  # pc NAME ARGS...
  local name=$1
  shift
  XDG_DATA_HOME="$work/$name/data" XDG_CONFIG_HOME="$work/$name/config" PGPASSFILE="$work/$name/pgpass" \
    ZENDA_TEAM_DB="host=db.example hostaddr=127.0.0.1 port=5433 dbname=zenda user=$name sslmode=verify-full sslrootcert=$work/root.crt" \
    zenda --port "$work/line" "$@"
}
passfile() {  # passfile NAME OUTPUT-OF-ADD-PC: the line it printed, for db.example
  mkdir -p "$work/$1"
  grep -o "SERVER:5433:zenda:$1:[A-Za-z0-9]*" <<<"$2" | sed 's/^SERVER:/db.example:/' >"$work/$1/pgpass"
  chmod 600 "$work/$1/pgpass"
  [ -s "$work/$1/pgpass" ] || fail "add-pc printed no password line for $1: $2"
}
"$build/sim/zenda-sim" --link "$work/line" --quiet >/dev/null 2>&1 &
sim=$!

run cluster
run listen
run tls
cp /etc/postgresql/15/zenda/zenda-ca.crt "$work/root.crt"
run hba
run add-pc
passfile line-pc1 "$(cat "$work/add-pc.out")"
passfile line-pc2 "$(admin team add-pc line-pc2)"
status=$(pc line-pc1 team status)
grep -q "TLS, the server's name verified (sslmode=verify-full)" <<<"$status" || fail "team status: $status"
grep -q "department: east" <<<"$status" || fail "team status: $status"

# Numbers written and sent, the nightly backup, more written since.
pc line-pc1 --yes init --serial 7001 >/dev/null
pc line-pc1 sync >/dev/null
run backup
pc line-pc1 --yes init --serial 7002 >/dev/null
pc line-pc1 sync >/dev/null
run restore
grep -q "went back in time (restored from a dump, or moved" "$work/restore.out" || fail "restore: $(cat "$work/restore.out")"
run status
grep -q "line-pc1" "$work/status.out" || fail "status names no PC awaited: $(cat "$work/status.out")"
told=$(pc line-pc1 --json sync)
grep -q '"resent":true' <<<"$told" || fail "the PC did not send its journal again: $told"
[ "$(sudo -u postgres psql -p 5433 -qAtX -d zenda -c "SELECT count(*) FROM zenda.journal WHERE written_serial = 7002")" -ge 1 ] \
  || fail "7002 is not on the server again"

# A PC's life: a new password, another department, another name, gone.
run life
pc line-pc1 team status >"$work/gone.out" 2>&1 && fail "a removed PC still logs in"
grep -q "refused this PC's login" "$work/gone.out" || fail "removed: $(cat "$work/gone.out")"
[ -z "$(sudo -u postgres psql -p 5433 -qAtX -d postgres -c "SELECT 1 FROM pg_roles WHERE rolname IN ('line-pc1', 'line-pc7')")" ] \
  || fail "the removed PC's role is still there"

# The move: a backup, the old host gone, the new one set up as the guide says, the PCs on it
# with the passwords they had.
pc line-pc2 --yes init --serial 7010 >/dev/null
pc line-pc2 sync >/dev/null
lines=$(sudo -u postgres psql -p 5433 -qAtX -d zenda -c "SELECT count(*) FROM zenda.journal")
run backup
cp /var/backups/zenda/roles.sql /var/backups/zenda/zenda.dump /tmp/  # the guide's scp
chmod 644 /tmp/roles.sql /tmp/zenda.dump
pg_dropcluster --stop 15 zenda
block cluster | grep pg_createcluster | bash -e
run listen
run tls
cp /etc/postgresql/15/zenda/zenda-ca.crt "$work/root.crt"
run hba
run new-host
[ "$(sudo -u postgres psql -p 5433 -qAtX -d zenda -c "SELECT count(*) FROM zenda.journal")" = "$lines" ] || fail "the move lost lines"
moved=$(pc line-pc2 --json sync)
grep -q '"ok":true' <<<"$moved" || fail "the PC on the new host: $moved"
run watch
grep -q "line-pc2" "$work/watch.out" || fail "team pcs: $(cat "$work/watch.out")"
echo "admin guide: the set-up, a restore, a PC's life and a move ran as written"
