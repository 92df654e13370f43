#!/usr/bin/env bash
# Windows, from Linux: cross-builds the Qt-free core (serial/, device/, the window's core) and
# its tests with MinGW-w64, then runs them under Wine in a private WINEPREFIX whose COM1 is
# a pseudo-terminal served by zenda-sim on the Linux side: the real Win32 serial calls
# against the simulated device. Installs what it needs with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh build-essential cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 \
  googletest

# The simulator runs on Linux.
cmake -S . -B build-nogui -G Ninja -DZENDA_GUI=OFF -DZENDA_CLI=OFF -DZENDA_WERROR=ON >/dev/null
cmake --build build-nogui --target zenda-sim
# The Windows programs.
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DZENDA_GUI=OFF -DZENDA_CLI=OFF -DZENDA_WERROR=ON >/dev/null
cmake --build build-win

work=$(mktemp -d /tmp/zenda-wine.XXXXXX)
sim=""
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1

# One group of tests against a simulator with the given faults: COM1 -> its pseudo-terminal.
# Wine rewrites dosdevices/com1 from its registry when it starts, so the map goes there.
group() {
  local filter=$1; shift
  rm -f "$work/line"
  ./build-nogui/sim/zenda-sim --link "$work/line" --no-pace --quiet "$@" &
  sim=$!
  for _ in $(seq 100); do [ -e "$work/line" ] && break; sleep 0.05; done
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$(readlink -f "$work/line")" /f >/dev/null 2>&1
  wineserver -w  # the registry on disk; the next start makes dosdevices/com1 from it
  wine build-win/tests/win_serial_test.exe --gtest_filter="$filter"
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  sim=""
}
wine build-win/tests/uicore_test.exe
group 'WinePlain.*'
group 'WineTimeouts.*' --fault noanswer@3 --fault short:10@4 --fault noanswer@5
group 'WineModelCode.*' --fault short:0@5
group 'WineDrop.*' --fault drop:10@4
echo "windows: every test passed under Wine"
