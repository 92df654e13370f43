#!/usr/bin/env bash
# Windows, from Linux: cross-builds zenda-init.exe, zenda.exe, the tests and the installer with
# MinGW-w64 and a static Qt for Windows (scripts/qt-mingw.sh: built once, then cached), and
# runs them under Wine in a private WINEPREFIX whose COM1 is a pseudo-terminal served by
# zenda-sim on the Linux side: the real Win32 calls against the simulated device.
# Installs what it needs with apt-get.
#
# usage: scripts/windows.sh [--core | --screenshots | --matrix]
#   --core         only the Qt-free core and its tests (no Qt for Windows needed)
#   --screenshots  no tests: docs/windows-*.png, the window under Wine reading the simulator
#   --matrix       every test, then the fault matrix of zenda-init.exe into
#                  docs/fault-matrix-wine.md (about 7 minutes more)
set -euo pipefail
cd "$(dirname "$0")/.."
core_only=0 shots=0 matrix=0
[ "${1:-}" = "--core" ] && core_only=1
[ "${1:-}" = "--screenshots" ] && shots=1
[ "${1:-}" = "--matrix" ] && matrix=1
./scripts/deps.sh build-essential cmake ninja-build pkg-config qt6-base-dev qt6-l10n-tools libgl-dev libgtest-dev googletest \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 nsis xvfb xauth x11-utils imagemagick poppler-utils \
  postgresql-15 postgresql-client-15 libpq-dev openssl
export LANG=C.UTF-8  # Wine takes the Russian key names from the arguments in the locale's encoding

# The Linux side: the simulator, and the whole-program tests that drive the .exe files.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDA_WERROR=ON >/dev/null
cmake --build build --target zenda-sim e2e_test cli_test
qt_args=(-DZENDA_GUI=OFF -DZENDA_CLI=OFF)
if [ $core_only = 0 ]; then
  qt=$(./scripts/qt-mingw.sh | tail -1)
  libpq=$(./scripts/libpq-mingw.sh | tail -1)  # zenda.exe's team's server, with TLS
  zint=$(./scripts/zint-mingw.sh | tail -1)  # the labels' DataMatrix
  qt_args=(-DZENDA_GUI=ON -DZENDA_CLI=ON -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_FIND_ROOT_PATH="$qt"
           -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
           -DZENDA_TEAM=ON -DZENDA_LIBPQ_MINGW="$libpq"
           -DZINT_INCLUDE_DIR="$zint/include" -DZINT_LIBRARY="$zint/lib/libzint-static.a")
fi
# A Qt built with other options has another folder; the cache's Qt6_DIR would keep the old one.
if [ $core_only = 0 ] && [ -f build-win/CMakeCache.txt ] && ! grep -qxF "Qt6_DIR:PATH=$qt/lib/cmake/Qt6" build-win/CMakeCache.txt; then
  rm -rf build-win/CMakeCache.txt build-win/CMakeFiles
fi
# Optimized for size (-Os): the programs wait on the line, not on the processor; zenda.exe is
# 0.25 MB smaller than at -O3.
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DZENDA_WERROR=ON "${qt_args[@]}" >/dev/null
cmake --build build-win
if [ $core_only = 0 ]; then
  (cd build-win && cpack -G NSIS >/dev/null)
  installer=$(ls build-win/zenda-init-*-win64.exe)
  echo "windows: $installer ($(du -k "$installer" | cut -f1) KiB)"
fi

work=$(mktemp -d /tmp/zenda-wine.XXXXXX)
sim=""
. scripts/wine-env.sh
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  tests/pg_cluster.sh stop "$work/pg.state" >/dev/null 2>&1 || true
  wine_down
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
wine_up "$work" 70 20

# COM1 -> the path the simulator links its pseudo-terminal to. Wine rewrites dosdevices/com1
# from its registry when it starts, so the map goes there, once.
line="$work/line"
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$line" /f >/dev/null 2>&1
wineserver -w  # the registry on disk; the next start makes dosdevices/com1 from it
wineserver -p 2>/dev/null  # then one server for every program started below: each start is quicker

start_sim() {
  rm -f "$line"
  ./build/sim/zenda-sim --link "$line" --no-pace --quiet "$@" &
  sim=$!
  for _ in $(seq 100); do [ -e "$line" ] && break; sleep 0.05; done
}
stop_sim() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  sim=""
  rm -f "$line"
}
# One group of the serial tests against a simulator with the given faults.
group() {
  local filter=$1; shift
  start_sim "$@"
  wine build-win/tests/win_serial_test.exe --gtest_filter="$filter"
  stop_sim
}

# The window in a Wine virtual desktop (there its windows take the mouse and have Windows'
# frames), clicked as a user clicks it; positions are relative to the main window's frame.
if [ $shots = 1 ]; then
  start_sim --model 2
  wine explorer /desktop=zenda,1024x768 build-win/app/zenda-init.exe >/dev/null 2>&1 &
  window() { xwininfo -root -tree | grep "\"$1\"" | awk '{print $1}'; }
  for _ in $(seq 100); do [ -n "$(window 'Инициализация ЗЕНДА (v1.03)')" ] && break; sleep 0.1; done
  main=$(window 'Инициализация ЗЕНДА (v1.03)')
  click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep "${3:-0.8}"; }
  click 259 256 2                       # Считать
  import -window "$main" docs/windows-main-read.png
  click 138 81                          # page Сервис
  click 71 113 1.5                      # Калибровка RTC
  import -window "$(window 'Автокоррекция RTC')" docs/windows-dialog-rtc.png
  echo "windows: docs/windows-main-read.png, docs/windows-dialog-rtc.png"
  exit 0
fi

echo "== the core under Wine"
wine build-win/tests/model_test.exe
group 'WinePlain.*'
group 'WineTimeouts.*' --fault noanswer@3 --fault short:10@4 --fault noanswer@5
group 'WineModelCode.*' --fault short:0@5
group 'WineDrop.*' --fault drop:10@4
if [ $core_only = 1 ]; then
  echo "windows: the core's tests passed under Wine"
  exit 0
fi

echo "== the dialogs' tests under Wine"
wine build-win/tests/dialogs_test.exe

# The whole-program tests of the Linux build, driving the Windows programs under Wine. Left
# out: what needs the Linux settings file or data folder (a map of COM ports, the backups),
# /dev paths, a second open of a port (Wine allows it), X window names.
export ZENDA_WINE_LINE="$line" ZENDA_WINE_CLI="$PWD/build-win/cli/zenda.exe" ZENDA_WINE_INIT="$PWD/build-win/app/zenda-init-test.exe"
echo "== zenda.exe under Wine"
./build/tests/cli_test --gtest_filter="$(tr -d ' \n' <<'EOF'
Cli.ReadGivesEveryFieldAsJsonAndForPeople:Cli.InitKeepsWhatIsNotGivenClearsTheCountersAndVerifies:
Cli.RtcCountersAndLeave:Cli.RefusedInputSaysWhyAndSendsNothing:Cli.DeviceFailuresAreStatusOneAndNeverReportedDone:
Cli.TraceShowsEveryByteBothWays:Cli.HelpForTheProgramAndEachCommand:Cli.WindowsOpensEachComPortByItsName:
Cli.NothingIsWrittenWithoutAYes
EOF
)"
echo "== zenda-init.exe under Wine"
./build/tests/e2e_test --gtest_filter="$(tr -d ' \n' <<'EOF'
Program.ReadShowsTheDevice:Program.InitializationTypedByTheUser:Program.LeaveInitializationAndTheServicePage:
Program.ClosingAsksFirst:Program.PulledCableThenPortChosenAgain:Program.ProtocolAfterAnInitialization
EOF
)"

echo "== the protocol from zenda.exe under Wine"
start_sim
wine build-win/cli/zenda.exe --port COM1 --yes init --serial 1017 >/dev/null
wine build-win/cli/zenda.exe --port COM1 protocol --engineer 'Иванов И. И.' --out "$(winepath -w "$work/p.pdf")" \
  >/dev/null
stop_sim
text=$(pdftotext -layout "$work/p.pdf" -)
for w in 'Протокол инициализации прибора ЗЕНДА' 1017 ZENDA1 'Иванов И. И.'; do
  grep -qF "$w" <<<"$text" || { echo "windows: the protocol lacks '$w'" >&2; exit 1; }
done
pdfinfo "$work/p.pdf" | grep -Eq '^Pages: +1$' || { echo "windows: the protocol is not one page" >&2; exit 1; }
pdffonts "$work/p.pdf" | awk 'NR > 2 && $(NF - 4) != "yes" { bad = 1 } END { exit bad }' \
  || { echo "windows: a font of the protocol is not embedded" >&2; exit 1; }
echo "windows: zenda.exe made a one-page protocol with its fonts embedded"

echo "== the production station from zenda.exe under Wine"
start_sim --fixture 200:300
# Never longer than three minutes: a station that waits for ever ends the run with what it said.
station=$(timeout 180 wine build-win/cli/zenda.exe --port COM1 --json station --serial-from 501 --count 2 --poll 200 \
  --renumber | tr -d '\r' | tee "$work/station.out" | grep '"event":"summary"' || true)
stop_sim
grep -q '"done":2,' <<<"$station" && grep -q '"left":0,' <<<"$station" \
  || { echo "windows: the station did not number two devices: $station $(tail -c 2000 "$work/station.out")" >&2; exit 1; }
echo "windows: zenda.exe numbered two devices one after the other on COM1"

echo "== the team's server from zenda.exe under Wine: TLS, verify-full, the Linux test cluster"
tests/pg_cluster.sh start "$work/pg.state" >/dev/null
pgdir=$(cat "$work/pg.state")
pgport=$(cat "$pgdir/port")
psql -qAtX -d "host=$pgdir port=$pgport user=postgres dbname=postgres" -c "CREATE DATABASE zwine"
admin="host=$pgdir port=$pgport user=postgres dbname=zwine"
ZENDA_TEAM_DB="$admin" ./build/cli/zenda team setup >/dev/null
password=$(ZENDA_TEAM_DB="$admin" ./build/cli/zenda --json team add-pc wine-pc \
  | python3 -c 'import json, sys; print(json.load(sys.stdin)["password"])')
# libpq's own places on Windows: the password file and the server's authority under %APPDATA%.
pgconf="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/postgresql"
mkdir -p "$pgconf"
echo "localhost:$pgport:zwine:wine-pc:$password" >"$pgconf/pgpass.conf"
cp "$pgdir/root.crt" "$pgconf/root.crt"
start_sim --fixture 200:300
station=$(ZENDA_TEAM_DB="host=localhost port=$pgport dbname=zwine user=wine-pc sslmode=verify-full" \
  timeout 180 wine build-win/cli/zenda.exe --port COM1 --json station --team --serial-from 601 --count 2 --poll 200 \
  --renumber | tr -d '\r' | tee "$work/team-station.out" | grep '"event":"summary"' || true)
stop_sim
# (The PC told the book the numbers its journal holds from the steps before, at its first greeting.)
done_there=$(psql -qAtX -d "$admin" -c "SELECT count(*) FROM zenda.numbers WHERE pc = 'wine-pc' AND state = 'done' AND serial IN (601, 602)")
grep -q '"done":2,' <<<"$station" && [ "$done_there" = 2 ] \
  || { echo "windows: zenda.exe did not take two numbers from the team's server: $station ($done_there there)" \
       "$(tail -c 2000 "$work/team-station.out")" >&2; exit 1; }
# The journal's lines on the server too: sent at the station's end or now, and listed back.
wine_team() { ZENDA_TEAM_DB="host=localhost port=$pgport dbname=zwine user=wine-pc sslmode=verify-full" \
  wine build-win/cli/zenda.exe "$@" | tr -d '\r'; }
synced=$(wine_team --json sync || true)
grep -q '"waiting":0' <<<"$synced" || { echo "windows: zenda.exe sync: $synced" >&2; exit 1; }
on_server=$(psql -qAtX -d "$admin" -c "SELECT count(*) FROM zenda.journal WHERE pc = 'wine-pc'")
listed=$(wine_team --json journal --team)
[ "$on_server" -gt 0 ] && grep -q '"pc":"wine-pc"' <<<"$listed" \
  || { echo "windows: the journal did not reach the server and back ($on_server lines): $listed" >&2; exit 1; }
tests/pg_cluster.sh stop "$work/pg.state" >/dev/null
echo "windows: zenda.exe numbered two devices with numbers from the team's server over TLS (verify-full)"
echo "windows: zenda.exe sent its $on_server journal lines there and listed the department's journal"

echo "== two zenda.exe appending to one journal at once under Wine"
journal="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/ЛЮМРАД/zenda-init/journal.csv"
appends=${ZENDA_WINE_APPENDS:-40}
rm -f "$journal"  # a new journal: its header is written once, by one of them
writers=()
for port in COM7 COM8; do  # no such ports: each read fails at once (status 3) and is journaled
  ( for _ in $(seq "$appends"); do
      status=0
      wine build-win/cli/zenda.exe --port $port read >/dev/null 2>>"$work/append-$port.err" || status=$?
      echo "$status" >>"$work/append-$port.status"
    done ) &
  writers+=($!)
done
wait "${writers[@]}"
for port in COM7 COM8; do
  n=$(grep -c "^\"[^\"]*\",\"read\",\"$port" "$journal" || true)
  ran=$(grep -cx 3 "$work/append-$port.status" || true)
  # Every run that said its error (status 3) must have its line. A run that ends otherwise is
  # reported: under Wine about one in some hundreds ends with status 1 and says nothing.
  [ "$ran" = "$appends" ] || echo "windows: $((appends - ran)) of $appends zenda.exe runs on $port ended otherwise:" \
    "$(sort "$work/append-$port.status" | uniq -c | tr '\n' ' ')" "$(grep -v 'COM port cannot be opened' "$work/append-$port.err" | head -3)"
  [ "$n" = "$ran" ] || { echo "windows: $n lines of $port in the journal for $ran runs" >&2
    grep -v 'COM port cannot be opened' "$work/append-$port.err" | head -5 >&2; exit 1; }
done
[ "$(grep -c 'time,action,port' "$journal")" = 1 ] || { echo "windows: the journal's header is not once" >&2; exit 1; }
bad=$(tail -n +2 "$journal" | grep -cv '^"[0-9-]*T[0-9:]*[^"]*","[a-z]*",.*"'$'\r''$' || true)
[ "$bad" = 0 ] || { echo "windows: $bad journal lines are not whole" >&2; exit 1; }
echo "windows: two zenda.exe appended $appends lines each to one journal, every line whole"

# The user's language: Wine takes it from LANG (LC_CTYPE stays UTF-8 for the file names:
# this machine may lack a generated Russian locale).
said_ru=$(LANG=ru_RU.UTF-8 LC_CTYPE=C.UTF-8 wine build-win/cli/zenda.exe --port COM7 read 2>&1 >/dev/null || true)
said_en=$(wine build-win/cli/zenda.exe --port COM7 read 2>&1 >/dev/null || true)
grep -q 'Драйвер COM-порта: Ошибка открытия СОМ-порта' <<<"$said_ru" && grep -q 'COM port driver: The COM port cannot be opened' <<<"$said_en" \
  || { echo "windows: zenda.exe does not speak the user's language: [$said_ru] [$said_en]" >&2; exit 1; }
echo "windows: zenda.exe speaks Russian under a Russian locale, English otherwise"

if [ $matrix = 1 ]; then
  ./build/tests/e2e_test --gtest_filter=Program.FaultMatrix
  { echo "<!-- zenda-init.exe under Wine: scripts/windows.sh --matrix -->"; cat build/fault-matrix.md; } >docs/fault-matrix-wine.md
fi

echo "== the settings in the registry"
reg_key='HKCU\Software\ЛЮМРАД\Инициализация ЗЕНДИН'
settings=$(wine reg query "$reg_key" 2>/dev/null | tr -d '\r')
echo "$settings"
grep -q 'ComNumber.*REG_' <<<"$settings" && grep -q 'BaudRate.*REG_' <<<"$settings" \
  || { echo "windows: the settings are not in $reg_key" >&2; exit 1; }

echo "== the installer under Wine"
wine "$installer" /S
pf="$WINEPREFIX/drive_c/Program Files/zenda-init"
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/ЛЮМРАД/zenda-init"
for f in zenda-init.exe zenda.exe Uninstall.exe; do
  [ -f "$pf/$f" ] || { echo "windows: the installer left no $f" >&2; exit 1; }
done
find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/*' -name 'Инициализация ЗЕНДА.lnk' | grep -q . \
  || { echo "windows: no Start-menu shortcut" >&2; exit 1; }
# The installed window program has no automation hook: it is started and its window looked for.
grep -qaF -- --automation "$pf/zenda-init.exe" && { echo "windows: the installed zenda-init.exe has the test hook" >&2; exit 1; }
wine "$pf/zenda-init.exe" >/dev/null 2>&1 &
app=$!
shown=""
for _ in $(seq 300); do  # its X window, by Wine's class for it: the title's encoding is Wine's business
  xwininfo -root -tree | grep -qiF 'zenda-init.exe"' && { shown=1; break; }
  sleep 0.2
done
[ -n "$shown" ] || { echo "windows: the installed zenda-init.exe showed no window:" >&2; xwininfo -root -tree >&2; exit 1; }
kill "$app"; wait "$app" 2>/dev/null || true
ZENDA_WINE_CLI="$pf/zenda.exe" ./build/tests/cli_test --gtest_filter=Cli.ReadGivesEveryFieldAsJsonAndForPeople
# The installed zenda.exe draws its protocol through the installed zenda-init.exe.
start_sim
wine "$pf/zenda.exe" --port COM1 protocol --now --engineer 'Петров П. П.' --out "$(winepath -w "$work/installed.pdf")" >/dev/null
stop_sim
pdftotext "$work/installed.pdf" - | grep -qF 'ZENDA' || { echo "windows: the installed programs made no protocol" >&2; exit 1; }
[ -f "$data/journal.csv" ] || { echo "windows: no journal in $data before the uninstall" >&2; exit 1; }
# One version: the installer's, the command line's and the window program's resource.
version=$(basename "$installer" | sed 's/^zenda-init-\(.*\)-win64\.exe$/\1/')
[ "$(wine "$pf/zenda.exe" --version | tr -d '\r')" = "zenda $version" ] \
  || { echo "windows: zenda.exe --version is not $version" >&2; exit 1; }
strings -el "$pf/zenda-init.exe" | grep -A1 -x FileVersion | grep -qx "$version" \
  || { echo "windows: zenda-init.exe's resource does not say $version" >&2; exit 1; }
wine "$pf/Uninstall.exe" /S
# The uninstaller runs a copy of itself and returns at once: wait for the files to go.
for _ in $(seq 150); do [ -e "$pf" ] || break; sleep 0.2; done
[ -e "$pf" ] && { echo "windows: the uninstaller left $(ls "$pf")" >&2; exit 1; }
wine reg query "$reg_key" >/dev/null 2>&1 || { echo "windows: the uninstaller removed the settings" >&2; exit 1; }
[ -f "$data/journal.csv" ] || { echo "windows: the uninstaller removed the journal" >&2; exit 1; }
echo "windows: installed, ran, uninstalled; settings and journal kept"
echo "windows: every test passed under Wine"
