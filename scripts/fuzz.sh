#!/usr/bin/env bash
# Fuzzes the journal and backup readers with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer: RUNS inputs each (default 1,000,000), from a seed corpus of a
# real journal and a real backup. Exits non-zero on the first crash, leak or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
./scripts/deps.sh clang
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZENDA_GUI=OFF \
  -DZENDA_CLI=ON -DZENDA_TESTS=OFF -DZENDA_FUZZ=ON "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_C_FLAGS=$flags" >/dev/null
cmake --build build-fuzz --target journal_fuzz image_fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$corpus/journal" "$corpus/image"
printf '\xEF\xBB\xBFtime,action,port,model,serial,address,outcome,changes,backup,traffic,written\r\n"2026-12-08T10:00:00+03:00","rtc","COM1 -> /dev/ttyUSB0","ZENDA1","1017","5","выполнено","Автокоррекция RTC: 5 сек -> 3 сек","backups/1017/x-rtc.hex","",""\r\n' \
  >"$corpus/journal/seed.csv"
{ echo "# model: ZENDA1"; for i in $(seq 72); do printf '%02X ' $((i * 7 % 256)); done; echo; } >"$corpus/image/seed.hex"
for t in journal image; do
  echo "== ${t}_fuzz: $runs runs"
  status=0
  ASAN_OPTIONS=detect_leaks=1 ./build-fuzz/tests/fuzz/${t}_fuzz -runs="$runs" -max_len=4096 -print_final_stats=1 \
    "$corpus/$t" >"$corpus/$t.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)|ERROR|SUMMARY' "$corpus/$t.log" || true
  [ "$status" = 0 ] || { tail -40 "$corpus/$t.log" >&2; echo "fuzz: ${t}_fuzz failed" >&2; exit 1; }
done
echo "fuzz: both readers clean after $runs runs each"
