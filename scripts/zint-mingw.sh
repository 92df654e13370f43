#!/usr/bin/env bash
# libzint for Windows, built once and cached: the DataMatrix of the labels, from Debian's own
# source package (zint), static, with the MinGW-w64 compilers; no PNG, no Qt, no front end. Its
# internal utf8_to_unicode is renamed (zint_...): libpq's static library has one of that name.
#
# Prints the install prefix on its last line (include/zint.h, lib/libzint-static.a). A minute on
# two cores the first time. ZENDA_ZINT_MINGW overrides the cache folder.
set -euo pipefail
cd "$(dirname "$0")/.."
key=$(printf '%s\n' "zint static no-png rename-utf8-1" "$(x86_64-w64-mingw32-gcc-posix -dumpfullversion 2>/dev/null)" | sha256sum | cut -c1-12)
prefix=${ZENDA_ZINT_MINGW:-$HOME/.cache/zenda-init/zint-mingw-$key}
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
./scripts/deps.sh build-essential dpkg-dev cmake g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev >&2
. scripts/deb-src.sh
work=$(mktemp -d /tmp/zenda-zint-mingw.XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "zenda-init: building libzint for Windows into $prefix (once)" >&2
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib"
(cd "$work" && apt-get source -qq --download-only zint >&2 && dpkg-source -x --no-check zint_*.dsc zint >/dev/null)
cmake -S "$work/zint" -B "$work/build" -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix \
  -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix -DCMAKE_BUILD_TYPE=MinSizeRel -DZINT_SHARED=OFF -DZINT_STATIC=ON \
  -DZINT_USE_PNG=OFF -DZINT_USE_QT=OFF -DZINT_FRONTEND=OFF -DZINT_TEST=OFF >"$work/configure.log" 2>&1 ||
  { tail -40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" --target zint-static -j"$(nproc)" >"$work/build.log" 2>&1 || { tail -40 "$work/build.log" >&2; exit 1; }
cp "$work/zint/backend/zint.h" "$prefix/include/"
cp "$(find "$work/build" -name 'libzint-static.a' | head -1)" "$prefix/lib/"
x86_64-w64-mingw32-objcopy --redefine-sym utf8_to_unicode=zint_utf8_to_unicode "$prefix/lib/libzint-static.a"
touch "$prefix/.complete"
echo "$prefix"
