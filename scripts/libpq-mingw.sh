#!/usr/bin/env bash
# libpq for Windows with TLS, built once and cached: OpenSSL and libpq from Debian's own source
# packages (openssl, postgresql-15), static, with the MinGW-w64 compilers, for zenda.exe's
# team's server. libpq's static library is its objects with libpgcommon_shlib and
# libpgport_shlib; its own pthread shim is renamed (zpq_...) so that it never clashes with the
# compiler's winpthreads, which the programs link too.
#
# Prints the install prefix on its last line (include/, lib/libpq.a, lib/libssl.a,
# lib/libcrypto.a). The first run costs about 15 minutes on two cores; later runs find the
# cache. ZENDA_LIBPQ_MINGW overrides the cache folder.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what a TLS 1.2/1.3 client of PostgreSQL needs from OpenSSL, optimized for size: zenda.exe
# carries every byte of it.
ssl_options=(no-shared no-tests no-engine no-dso no-comp no-ct no-ocsp no-srp no-dtls no-ssl3 no-tls1 no-tls1_1
             no-idea no-camellia no-seed no-bf no-cast no-rc2 no-rc4 no-rc5 no-md4 no-mdc2 no-whirlpool no-dsa
             no-sm2 no-sm3 no-sm4 no-siphash no-cms no-ts no-aria no-gost no-scrypt no-ui-console no-async -Os)
key=$(printf '%s\n' "openssl mingw64 ${ssl_options[*]}" "postgresql-15 --with-ssl=openssl" "zpq-rename-1" \
  "$(x86_64-w64-mingw32-gcc-posix -dumpfullversion 2>/dev/null)" | sha256sum | cut -c1-12)
prefix=${ZENDA_LIBPQ_MINGW:-$HOME/.cache/zenda-init/libpq-mingw-$key}
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
./scripts/deps.sh build-essential dpkg-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev perl bison flex >&2
. scripts/deb-src.sh
work=$(mktemp -d /tmp/zenda-libpq-mingw.XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "zenda-init: building OpenSSL and libpq for Windows into $prefix (once; about 15 minutes)" >&2
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib"
jobs=$(nproc)

# ---- OpenSSL: the libraries only
(cd "$work" && apt-get source -qq --download-only openssl >&2 && dpkg-source -x --no-check openssl_*.dsc openssl >/dev/null)
(
  cd "$work/openssl"
  ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- "${ssl_options[@]}" --prefix="$work/ssl" \
    --libdir=lib >"$work/ssl-configure.log" 2>&1 || { cat "$work/ssl-configure.log" >&2; exit 1; }
  make -j"$jobs" build_libs >"$work/ssl-build.log" 2>&1 || { tail -40 "$work/ssl-build.log" >&2; exit 1; }
  make install_dev >"$work/ssl-install.log" 2>&1 || { tail -40 "$work/ssl-install.log" >&2; exit 1; }
)
cp -r "$work/ssl/include/openssl" "$prefix/include/"
cp "$work/ssl/lib/libssl.a" "$work/ssl/lib/libcrypto.a" "$prefix/lib/"

# ---- libpq with TLS
(cd "$work" && apt-get source -qq --download-only postgresql-15 >&2 && dpkg-source -x --no-check postgresql-15_*.dsc pg >/dev/null)
(
  cd "$work/pg"
  ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --without-readline --without-zlib \
    --without-icu --with-ssl=openssl CFLAGS=-Os CPPFLAGS="-I$work/ssl/include" LDFLAGS="-L$work/ssl/lib" \
    LIBS="-lws2_32 -lcrypt32 -lgdi32" >"$work/pg-configure.log" 2>&1 || { tail -40 "$work/pg-configure.log" >&2; exit 1; }
  make -j"$jobs" -C src/interfaces/libpq >"$work/pg-build.log" 2>&1 || { tail -40 "$work/pg-build.log" >&2; exit 1; }
)
pq=$work/pg/src/interfaces/libpq
# One static library: libpq's objects and the two helper libraries' objects.
mkdir -p "$work/objs/common" "$work/objs/port"
(cd "$work/objs/common" && x86_64-w64-mingw32-ar x "$work/pg/src/common/libpgcommon_shlib.a")
(cd "$work/objs/port" && x86_64-w64-mingw32-ar x "$work/pg/src/port/libpgport_shlib.a")
objs=$(ls "$pq"/*.o "$work"/objs/common/*.o "$work"/objs/port/*.o)
shim=$(ls "$pq"/pthread-win32.o "$work"/objs/port/pthread-win32*.o 2>/dev/null || true)
if [ -n "$shim" ]; then
  # The shim's own names, given to every object that calls them.
  x86_64-w64-mingw32-nm --defined-only -g $shim | awk '$3 ~ /^pthread_/ { print $3 " zpq_" $3 }' | sort -u \
    >"$work/rename.txt"
  for o in $objs; do x86_64-w64-mingw32-objcopy --redefine-syms="$work/rename.txt" "$o"; done
fi
x86_64-w64-mingw32-ar rcs "$prefix/lib/libpq.a" $objs
cp "$pq/libpq-fe.h" "$pq/libpq-events.h" "$work/pg/src/include/postgres_ext.h" "$work/pg/src/include/pg_config_ext.h" \
  "$prefix/include/"
touch "$prefix/.complete"
echo "$prefix"
