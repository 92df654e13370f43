#!/usr/bin/env bash
# The .debs that CPack builds, a package a role: zenda (the command line, the station, the
# administrator's guide; Qt Core), zenda-draw (its protocols' drawing, Qt Gui, no widgets),
# zenda-init (the window, the desktop entry, the icon, the AppStream metadata; it depends on
# zenda) and zenda-sim.
# Each with its compressed manual page, copyright file and changelog; lintian finds no error and
# no warning, appstreamcli and desktop-file-validate pass, every program, manual page and package
# says the one version, and the single zenda-init 1.03 package of before is replaced by them.
set -euo pipefail
build=$1
src=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "package: $*" >&2; exit 1; }
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
cli=$(ls "$out"/zenda_*.deb) draw=$(ls "$out"/zenda-draw_*.deb) gui=$(ls "$out"/zenda-init_*.deb) sim=$(ls "$out"/zenda-sim_*.deb)
has() {  # has DEB FILE...: each file is in the package
  local deb=$1 files
  shift
  files=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for f in "$@"; do grep -qx "$f" <<<"$files" || fail "$(basename "$deb") lacks $f"; done
}
has "$draw" ./usr/libexec/zenda/zenda-draw ./usr/share/doc/zenda-draw/copyright ./usr/share/doc/zenda-draw/changelog.Debian.gz
has "$cli" ./usr/bin/zenda ./usr/share/man/man1/zenda.1.gz \
  ./usr/share/bash-completion/completions/zenda ./usr/share/doc/zenda/ADMIN.md ./usr/share/doc/zenda/README.Debian \
  ./usr/share/doc/zenda/copyright ./usr/share/doc/zenda/changelog.Debian.gz
has "$gui" ./usr/bin/zenda-init ./usr/share/applications/zenda-init.desktop \
  ./usr/share/icons/hicolor/scalable/apps/zenda-init.svg ./usr/share/metainfo/ru.lyumrad.zenda_init.metainfo.xml \
  ./usr/share/man/man1/zenda-init.1.gz ./usr/share/doc/zenda-init/copyright ./usr/share/doc/zenda-init/changelog.Debian.gz
has "$sim" ./usr/bin/zenda-sim ./usr/share/man/man1/zenda-sim.1.gz ./usr/share/doc/zenda-sim/copyright \
  ./usr/share/doc/zenda-sim/changelog.Debian.gz
depends() { dpkg-deb -f "$1" Depends; }
depends "$gui" | grep -q libqt6widgets6 || fail "zenda-init: no Qt Widgets dependency"
depends "$gui" | grep -q "zenda (= " || fail "zenda-init does not depend on zenda"
depends "$draw" | grep -q libqt6gui6 || fail "zenda-draw: no Qt Gui dependency"
! depends "$cli" | grep -Eq "gui|widgets|gtk|xcb|x11" || fail "zenda depends on a window system: $(depends "$cli")"
dpkg-deb -f "$cli" Recommends | grep -q "zenda-draw (= " || fail "zenda does not recommend zenda-draw"
for deb in "$cli" "$sim"; do
  dpkg-deb -f "$deb" Breaks | grep -q "zenda-init (<< " || fail "$(basename "$deb"): no Breaks on the old zenda-init"
  dpkg-deb -f "$deb" Replaces | grep -q "zenda-init (<< " || fail "$(basename "$deb"): no Replaces on the old zenda-init"
done

# The upgrade from the single zenda-init 1.03 package, which held zenda and zenda-sim too: dpkg
# takes the three over it with no file in conflict, in a root of its own.
old=$out/old
mkdir -p "$old/DEBIAN" "$old/usr/bin"
printf 'Package: zenda-init\nVersion: 1.03\nArchitecture: amd64\nMaintainer: x <x@example.org>\nDescription: old\n old\n' \
  >"$old/DEBIAN/control"
for p in zenda zenda-init zenda-sim; do printf '#!/bin/sh\n' >"$old/usr/bin/$p"; chmod 755 "$old/usr/bin/$p"; done
dpkg-deb --root-owner-group -b "$old" "$out/old.deb" >/dev/null
root=$out/dpkgroot
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root() { dpkg --root="$root" --log=/dev/null --force-depends --force-not-root --force-script-chrootless "$@"; }
dpkg_root -i "$out/old.deb" >/dev/null 2>&1 || fail "the old package does not install"
dpkg_root --auto-deconfigure -i "$cli" "$draw" "$gui" "$sim" >"$out/upgrade.log" 2>&1 || fail "the upgrade: $(cat "$out/upgrade.log")"
for p in zenda zenda-draw zenda-init zenda-sim; do
  dpkg_root -s "$p" 2>/dev/null | grep -q "^Status: install ok installed" || fail "after the upgrade $p is not installed"
done
cmp -s "$root/usr/bin/zenda" "$out/old/usr/bin/zenda" && fail "the upgrade kept the old zenda"

# What a distribution checks.
tags=$(lintian --tag-display-limit 0 "$cli" "$draw" "$gui" "$sim" 2>&1 | grep -E '^[EW]: ' || true)
[ -z "$tags" ] || fail "lintian: $tags"
appstreamcli validate --no-net --pedantic "$build/packaging/ru.lyumrad.zenda_init.metainfo.xml" >/dev/null \
  || fail "appstreamcli: $(appstreamcli validate --no-net --pedantic "$build/packaging/ru.lyumrad.zenda_init.metainfo.xml")"
desktop-file-validate "$src/packaging/zenda-init.desktop" || fail "desktop-file-validate"

# One version: the project's, everywhere it is said.
version=$(sed -n 's/^project(zenda-init VERSION \([^ ]*\) .*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
unpacked="$out/root"
for deb in "$cli" "$draw" "$gui" "$sim"; do dpkg-deb -x "$deb" "$unpacked"; done
packaged=$(dpkg-deb -f "$cli" Version)
said=(
  "package ${packaged%-*}"
  "zenda-init $("$build/app/zenda-init" --version | sed 's/^zenda-init //')"
  "zenda $("$build/cli/zenda" --version | sed 's/^zenda //')"
  "zenda-draw $("$unpacked/usr/libexec/zenda/zenda-draw" --version | sed 's/^zenda-draw //')"
  "zenda-sim $("$build/sim/zenda-sim" --version | sed 's/^zenda-sim //')"
  "metainfo $(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$unpacked/usr/share/metainfo/ru.lyumrad.zenda_init.metainfo.xml")"
)
for deb in "$draw" "$gui" "$sim"; do
  [ "$(dpkg-deb -f "$deb" Version)" = "$packaged" ] || fail "$(basename "$deb") is not version $packaged"
done
for p in zenda zenda-draw zenda-init zenda-sim; do
  said+=("$p.changelog $(zcat "$unpacked/usr/share/doc/$p/changelog.Debian.gz" | sed -n '1s/^zenda-init (\([^)-]*\)-.*/\1/p')")
done
# The packaged window program takes no commands on its standard input: the test hook is only in
# zenda-init-test, which is not packaged.
grep -qaF -- --automation "$unpacked/usr/bin/zenda-init" && fail "the packaged zenda-init has the test hook"
dpkg-deb -c "$gui" | grep -q 'zenda-init-test' && fail "the test build is packaged"
for page in zenda zenda-init zenda-sim; do
  said+=("$page.1 $(zcat "$unpacked/usr/share/man/man1/$page.1.gz" | sed -n '1s/.*"zenda-init \([^"]*\)".*/\1/p')")
done
# zenda as installed finds zenda-draw, which draws its protocols, with no zenda-init and no
# display: a protocol of the device as it is now, from the simulator.
rm -f "$unpacked/usr/bin/zenda-init"
"$build/sim/zenda-sim" --link "$out/line" --quiet >/dev/null 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$out/line" ] && break; sleep 0.05; done
drawn=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$out/data" XDG_CONFIG_HOME="$out/config" LANG=C.UTF-8 \
  "$unpacked/usr/bin/zenda" --port "$out/line" protocol --now --out "$out/now.pdf" 2>&1 || true)
kill "$simpid" 2>/dev/null || true
head -c 5 "$out/now.pdf" 2>/dev/null | grep -q '%PDF-' || fail "the installed zenda made no protocol alone: $drawn"
for s in "${said[@]}"; do
  [ "${s##* }" = "$version" ] || fail "version $version, but $s"
done
echo "package ok: $(basename "$cli") $(basename "$draw") $(basename "$gui") $(basename "$sim"), version $version everywhere"
