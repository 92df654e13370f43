#!/usr/bin/env bash
# Takes the screenshots in docs/ under Xvfb: zenda-init against zenda-sim, driven with
# xdotool (without a window manager the main window sits at 0,0).
# usage: scripts/screenshots.sh [OUTDIR]   (default docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs}")
mkdir -p "$out"
command -v xdotool >/dev/null && command -v import >/dev/null || {
  echo "needs xdotool and imagemagick (apt-get install xdotool imagemagick)" >&2; exit 1; }

W=$(mktemp -d /tmp/zenda-shots.XXXXXX)
D=:$((90 + RANDOM % 9))
Xvfb $D -screen 0 1024x768x24 >/dev/null 2>&1 &
XV=$!
trap 'kill $XV ${SIM:-} ${APP:-} 2>/dev/null; wait 2>/dev/null; rm -rf "$W"' EXIT
export DISPLAY=$D

start() {  # start [sim options...]
  ./build/sim/zenda-sim --link "$W/line" --model 2 --no-pace --quiet "$@" &
  SIM=$!
  for _ in $(seq 50); do [ -e "$W/line" ] && break; sleep 0.1; done
  mkdir -p "$W/config/ЛЮМРАД"
  printf '[Ports]\nCOM1=%s\n' "$W/line" >"$W/config/ЛЮМРАД/Инициализация ЗЕНДИН.conf"
  [ -n "${BEFORE_APP:-}" ] && XDG_CONFIG_HOME="$W/config" XDG_DATA_HOME="$W/data" bash -c "$BEFORE_APP" || true
  XDG_CONFIG_HOME="$W/config" XDG_DATA_HOME="$W/data" ./build/app/zenda-init >/dev/null 2>&1 &
  APP=$!
  sleep 1.5
}
stop() { kill $APP $SIM 2>/dev/null || true; wait $APP $SIM 2>/dev/null || true; rm -f "$W/line"; }
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.7}"; }
grab() {  # grab FILE WINDOW-TITLE
  local id
  id=$(xdotool search --name "^$2\$" | tail -1)
  import -window "$id" "$out/$1.png"
}

start
click 262 236 1.2                      # Считать
grab main-read "Инициализация ЗЕНДА \(v1.03\)"
click 415 236                          # Инициализация устройства -> clock check
grab dialog-clock "Проверка часов"
xdotool key Escape; sleep 0.3
click 135 60                           # page Сервис
click 68 92                            # Калибровка RTC
grab dialog-rtc "Автокоррекция RTC"
xdotool key Escape; sleep 0.3
click 68 124                           # Установка счетчиков
grab dialog-counters "Установка счетчиков"
xdotool key Escape; sleep 0.3
click 50 60                            # page Инициализация
click 415 268                          # Выход из инициализации -> information
grab box-info "Информация"
xdotool key Return; sleep 0.3
click 439 27                           # Выход -> question
grab box-question "Подтвердите"
xdotool key Tab key Return; sleep 0.3  # "Нет"
stop

# A day's work in the journal (through zenda, on the same settings), then the dialog.
BEFORE_APP='z=./build/cli/zenda
  $z --yes init --serial 10742 --address 3 --ch2 value=0.01,type=fast,test=yes
  $z read; $z --yes rtc 4; $z --yes counters --tp1 1520:30 --v1 1234,5; $z --port COM2 read
  exit 0' start
click 135 60                           # page Сервис
click 68 156                           # Журнал
xdotool key Down; sleep 0.3                  # the table has the focus: its second line (counters)
grab dialog-journal "Журнал"
xdotool key Escape; sleep 0.3
stop

start --fault noanswer@4x1
click 262 236 5                        # Считать: no echo within 4 s
grab box-error "Ошибка"
xdotool key Return; sleep 0.3
stop
echo "screenshots in $out"
