#!/usr/bin/env bash
# Qt for Windows, built once and cached: Qt 6.4.2 (the version of Debian's moc, rcc and uic,
# which the cross build uses as host tools) from Debian's own qt6-base source package, static,
# with the MinGW-w64 posix compilers. Only what the two programs and their tests use: Core, Gui,
# Widgets, Test and the windows platform plugin.
#
# Prints the install prefix on its last line. The first run costs 25-40 minutes on two cores;
# later runs find the cache and return at once. ZENDA_QT_MINGW overrides the cache folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The key changes whenever the version or the options below change, so a stale cache is never used.
version=6.4.2
options=(
  -DBUILD_SHARED_LIBS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  # The Debian source has no wintab.h.
  -DFEATURE_tabletevent=OFF
  # Without Direct2D the plugin would miss a font database at link time unless DirectWrite 3 is off.
  -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_zstd=OFF
  -DFEATURE_icu=OFF -DFEATURE_sspi=OFF -DFEATURE_schannel=OFF
  # Smaller programs: optimized for size, and without what neither program uses (file types,
  # other calendars, Markdown and ODF, the GIF player, FreeType and HarfBuzz beside the Windows
  # font engine; Cyrillic and Latin need no shaping).
  -DFEATURE_optimize_size=ON -DFEATURE_mimetype=OFF -DFEATURE_sha3_fast=OFF
  -DFEATURE_hijricalendar=OFF -DFEATURE_jalalicalendar=OFF -DFEATURE_islamiccivilcalendar=OFF
  -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF -DFEATURE_textodfwriter=OFF
  -DFEATURE_movie=OFF -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF
  -DFEATURE_harfbuzz=OFF -DFEATURE_freetype=OFF
  # Nor OpenGL (the window paints through the raster engine), the graphics view, style sheets,
  # or PCRE2's JIT compiler (the programs' few patterns run as well interpreted).
  -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_graphicsview=OFF -DFEATURE_style_stylesheet=OFF
  -DCMAKE_C_FLAGS=-DPCRE2_DISABLE_JIT
)
# One change to the source: double-conversion lowercases "inf"/"nan" through the C++ classic
# locale, which alone drags libstdc++'s whole locale machinery (0.56 MB) into zenda.exe. ASCII
# lowercasing is what the classic locale does.
patch_tolower='  return (ch >= '"'A'"' \&\& ch <= '"'Z'"') ? static_cast<char>(ch - '"'A'"' + '"'a'"') : ch;'
key=$(printf '%s\n' "$version" "${options[@]}" "$patch_tolower" "$(x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null)" \
  | sha256sum | cut -c1-12)
prefix=${ZENDA_QT_MINGW:-$HOME/.cache/zenda-init/qt-mingw-$version-$key}
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

./scripts/deps.sh build-essential cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix \
  mingw-w64-x86-64-dev qt6-base-dev qt6-base-dev-tools >&2

# The source package needs a deb-src entry.
. scripts/deb-src.sh

work=$(mktemp -d /tmp/zenda-qt-mingw.XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "zenda-init: building Qt $version for Windows into $prefix (once; 25-40 minutes on two cores)" >&2
(cd "$work" && apt-get source -qq --download-only qt6-base >&2 && dpkg-source -x --no-check qt6-base_*.dsc src >/dev/null && ls qt6-base_$version* >/dev/null)
dc="$work/src/src/3rdparty/double-conversion/double-conversion/string-to-double.cc"
if grep -q 'std::use_facet<std::ctype<char> >(std::locale::classic())' "$dc"; then
  sed -i -e '/static const std::ctype<char>& cType =/,/return cType.tolower(ch);/c\'"$patch_tolower" "$dc"
fi
if grep -q 'locale::classic' "$dc" || ! grep -q "ch - 'A' + 'a'" "$dc"; then
  echo "zenda-init: the double-conversion patch did not apply to $dc" >&2
  exit 1
fi

rm -rf "$prefix"
cmake -S "$work/src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake "${options[@]}" >"$work/configure.log" 2>&1 \
  || { tail -40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" >"$work/build.log" 2>&1 || { grep -B5 -A20 'FAILED' "$work/build.log" | head -80 >&2; exit 1; }
cmake --install "$work/build" >/dev/null
touch "$prefix/.complete"
echo "$prefix"
