#!/usr/bin/env bash
# Builds zenda-init and starts it against the built-in device simulator: zenda-sim serves
# a pseudo-terminal, and a private settings store (never your own) points COM1 at it; the
# backups and the journal of the session go to the same temporary folder.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
work=$(mktemp -d /tmp/zenda-run.XXXXXX)
cleanup() { [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
./build/sim/zenda-sim --link "$work/line" --image "$work/image.hex" ${ZENDA_SIM_ARGS:-} >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$work/line" ] && break; sleep 0.1; done
mkdir -p "$work/config/ЛЮМРАД"
printf '[Ports]\nCOM1=%s\n' "$work/line" >"$work/config/ЛЮМРАД/Инициализация ЗЕНДИН.conf"
echo "zenda-init: simulator on $work/line (its traffic: $work/sim.log)"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "zenda-init: no display; starting under xvfb-run" >&2
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" xvfb-run -a ./build/app/zenda-init "$@"
else
  XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" ./build/app/zenda-init "$@"
fi
