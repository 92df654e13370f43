#!/usr/bin/env bash
# The Windows programs under Wine: their sizes, and how long zenda-init.exe takes from its start
# to its main window shown (the automation hook's "@ shown"), the median of RUNS warm starts in
# one Wine prefix (the first start, which sets Wine up, is not counted).
# usage: bench/wine-start.sh [RUNS] [FOLDER...]   (default: build-win, after scripts/windows.sh)
# A FOLDER holds zenda-init.exe and zenda.exe, or is a build folder with app/ and cli/.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
shift || true
folders=("$@")
[ ${#folders[@]} -eq 0 ] && folders=(build-win)

work=$(mktemp -d /tmp/zenda-wine-start.XXXXXX)
. scripts/wine-env.sh
cleanup() {
  wine_down
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
wine_up "$work" 90 9
wineserver -w
wineserver -p 2>/dev/null || true  # one server for every start below

exe() {  # the program in a folder, flat or a build folder
  if [ -f "$1/$2.exe" ]; then echo "$1/$2.exe"; else echo "$1/$3/$2.exe"; fi
}
# Milliseconds from the start of one zenda-init.exe to its window shown.
start_once() {
  local t0 t1 line
  t0=$(date +%s%N)
  coproc APP { wine "$1" --automation 2>/dev/null; }
  while IFS= read -r -t 60 line <&"${APP[0]}"; do
    [[ $line == "@ shown"* ]] && break
  done
  t1=$(date +%s%N)
  echo quit >&"${APP[1]}" || true
  wait "$APP_PID" 2>/dev/null || true
  echo $(( (t1 - t0) / 1000000 ))
}

for f in "${folders[@]}"; do
  init=$(exe "$f" zenda-init app) cli=$(exe "$f" zenda cli)
  # Timed: the test build where there is one (the same program with the hook that says "shown").
  timed=$(exe "$f" zenda-init-test app)
  [ -f "$timed" ] || timed=$init
  stripped="$work/stripped"
  mkdir -p "$stripped"
  x86_64-w64-mingw32-strip -o "$stripped/zenda-init.exe" "$init"
  x86_64-w64-mingw32-strip -o "$stripped/zenda.exe" "$cli"
  start_once "$timed" >/dev/null  # Wine's own first start
  times=()
  for _ in $(seq "$runs"); do times+=("$(start_once "$timed")"); done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  printf '%s: zenda-init.exe %s KiB, zenda.exe %s KiB (stripped); zenda-init.exe shown in %s ms (median of %s: %s)\n' \
    "$f" "$(du -k "$stripped/zenda-init.exe" | cut -f1)" "$(du -k "$stripped/zenda.exe" | cut -f1)" \
    "$median" "$runs" "${times[*]}"
done
