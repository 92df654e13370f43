#!/usr/bin/env bash
# A private PostgreSQL 15 cluster for the team's-server tests, in a temporary folder of its own:
#   pg_cluster.sh start STATE   makes and starts it; STATE (a file) then names its folder, which
#                               holds its port (port) and the certificate authority (root.crt)
#   pg_cluster.sh stop STATE    stops it and removes the folder
#   pg_cluster.sh crash STATE   stops it at once, as a crash would (pg_ctl -m immediate)
#   pg_cluster.sh restart STATE starts it again, on the same port
# TLS is on, with a certificate for "localhost" from an authority of its own; TCP logins are
# scram-sha-256 over TLS only; the socket (in the folder) trusts the local superuser postgres.
# initdb refuses root: as root, the server's commands run as the postgres user.
set -euo pipefail
cmd=${1:-} state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: pg_cluster.sh start|stop STATE" >&2; exit 2; }
bin=/usr/lib/postgresql/15/bin
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }

stop() {
  [ -f "$state" ] || return 0
  local d
  d=$(cat "$state")
  if [ -f "$d/data/postmaster.pid" ]; then
    as_pg "$bin/pg_ctl" -D "$d/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$d" "$state"
}

case $cmd in
stop) stop ;;
crash) d=$(cat "$state"); as_pg "$bin/pg_ctl" -D "$d/data" -m immediate -w stop >/dev/null ;;
restart)
  d=$(cat "$state")
  as_pg "$bin/pg_ctl" -D "$d/data" -l "$d/server.log" -w -t 30 \
    -o "-k $d -p $(cat "$d/port") -c listen_addresses=127.0.0.1" start >/dev/null
  ;;
start)
  stop  # one left by a killed run
  # The socket's path must stay under about 100 bytes: a short folder, not the build folder.
  d=$(mktemp -d /tmp/zpg.XXXXXX)
  echo "$d" >"$state"
  chmod 755 "$d"
  [ "$(id -u)" = 0 ] && chown postgres: "$d"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_pg "$bin/initdb" -D "$d/data" -U postgres -N --auth-local=trust --auth-host=scram-sha-256 -E UTF8 \
    --locale=C.UTF-8 >"$d/initdb.log" 2>&1 || { cat "$d/initdb.log" >&2; exit 1; }
  # The authority and the server's certificate, for "localhost" only (127.0.0.1 is a mismatch).
  (
    cd "$d"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=zenda test CA" -keyout ca.key -out root.crt \
      >/dev/null 2>&1
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key -out server.csr >/dev/null 2>&1
    printf 'subjectAltName=DNS:localhost\n' >san.ext
    openssl x509 -req -in server.csr -CA root.crt -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext \
      -out server.crt >/dev/null 2>&1
    chmod 600 server.key
    chmod 644 root.crt
    [ "$(id -u)" = 0 ] && chown postgres: server.key server.crt
    true
  )
  cat >"$d/data/pg_hba.conf" <<HBA
local all all trust
hostssl all all 127.0.0.1/32 scram-sha-256
hostssl all all ::1/128 scram-sha-256
hostnossl all all all reject
HBA
  cat >>"$d/data/postgresql.conf" <<CONF
ssl = on
ssl_cert_file = '$d/server.crt'
ssl_key_file = '$d/server.key'
fsync = off
CONF
  echo "$port" >"$d/port"
  as_pg "$bin/pg_ctl" -D "$d/data" -l "$d/server.log" -w -t 30 \
    -o "-k $d -p $port -c listen_addresses=127.0.0.1" start >/dev/null || { cat "$d/server.log" >&2; exit 1; }
  echo "pg_cluster: $d, port $port"
  ;;
*) echo "usage: pg_cluster.sh start|stop STATE" >&2; exit 2 ;;
esac
