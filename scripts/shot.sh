#!/usr/bin/env bash
# Starts zenda-sim and zenda-init on a private Xvfb display and takes screenshots.
# usage: scripts/shot.sh OUTDIR [xdotool steps...]   (each step: "key ..." / "click X Y" / "sleep S" / "shot NAME")
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1; shift
mkdir -p "$out"
W=$(mktemp -d /tmp/zenda-shot.XXXXXX)
./build/sim/zenda-sim --link "$W/line" --model 2 --image "$W/image.hex" ${SIM_ARGS:-} >"$W/sim.log" 2>&1 &
SIM=$!
for _ in $(seq 50); do [ -e "$W/line" ] && break; sleep 0.1; done
mkdir -p "$W/config/ЛЮМРАД"
printf '[Ports]\nCOM1=%s\n' "$W/line" >"$W/config/ЛЮМРАД/Инициализация ЗЕНДИН.conf"
D=:$((90 + RANDOM % 9))
Xvfb $D -screen 0 1024x768x24 >/dev/null 2>&1 &
XV=$!
sleep 0.5
DISPLAY=$D XDG_CONFIG_HOME="$W/config" ./build/app/zenda-init >/dev/null 2>&1 &
APP=$!
sleep 1.5
for step in "$@"; do
  set -- $step
  case $1 in
    shot) DISPLAY=$D import -window root "$out/$2.png" ;;
    sleep) sleep "$2" ;;
    *) DISPLAY=$D xdotool "$@" ;;
  esac
done
kill $APP $SIM $XV 2>/dev/null || true
wait 2>/dev/null || true
cp "$W/sim.log" "$out/sim.log"
rm -rf "$W"
