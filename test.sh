#!/usr/bin/env bash
# Builds zenda-init and runs every test. With --sanitize: the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, in a build directory of its own.
# With --release: only an optimized (-O3) build, which must be free of warnings too.
# With --no-gui: the build without Qt at all (serial, device with the channel rules and
# masks, simulator) and its tests. With --cli: the command line without the window (what the
# packages zenda and zenda-draw hold) and its tests.
# Every build treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
dir=build type=RelWithDebInfo san=OFF gui=ON cli=ON
if [ "${1:-}" = "--sanitize" ]; then dir=build-asan type=Debug san=ON; fi
if [ "${1:-}" = "--release" ]; then dir=build-release type=Release; fi
if [ "${1:-}" = "--no-gui" ]; then dir=build-nogui gui=OFF cli=OFF; fi
if [ "${1:-}" = "--cli" ]; then dir=build-cli gui=OFF; fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=$type -DZENDA_SANITIZE=$san -DZENDA_GUI=$gui -DZENDA_CLI=$cli -DZENDA_WERROR=ON >/dev/null
cmake --build "$dir"
[ "${1:-}" = "--release" ] && exit 0
export QT_QPA_PLATFORM=offscreen
cd "$dir" && ctest --output-on-failure -j2 --timeout 300
