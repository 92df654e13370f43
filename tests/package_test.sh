#!/usr/bin/env bash
# The .deb that CPack builds: the programs, the command line's completion, the simulator, the
# desktop entry, the icon, the AppStream metadata, the compressed manual pages, the copyright
# file and the changelog; the Qt libraries it was built against asked of apt (the X11 plug-in
# comes with libqt6gui6). lintian finds no error and no warning, appstreamcli and
# desktop-file-validate pass, and every program, manual page and package says the one version.
set -euo pipefail
build=$1
src=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "package: $*" >&2; exit 1; }
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(ls "$out"/zenda-init_*.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/zenda-init ./usr/bin/zenda-sim ./usr/bin/zenda ./usr/share/applications/zenda-init.desktop \
         ./usr/share/icons/hicolor/scalable/apps/zenda-init.svg ./usr/share/metainfo/ru.lyumrad.zenda_init.metainfo.xml \
         ./usr/share/man/man1/zenda.1.gz ./usr/share/man/man1/zenda-init.1.gz ./usr/share/man/man1/zenda-sim.1.gz \
         ./usr/share/doc/zenda-init/copyright ./usr/share/doc/zenda-init/changelog.gz \
         ./usr/share/bash-completion/completions/zenda; do
  grep -qx "$f" <<<"$files" || fail "missing: $f"
done
dpkg-deb -f "$deb" Depends | grep -q libqt6gui6 || fail "no Qt GUI dependency"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "no Qt Widgets dependency"

# What a distribution checks.
tags=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -E '^[EW]: ' || true)
[ -z "$tags" ] || fail "lintian: $tags"
appstreamcli validate --no-net --pedantic "$build/packaging/ru.lyumrad.zenda_init.metainfo.xml" >/dev/null \
  || fail "appstreamcli: $(appstreamcli validate --no-net --pedantic "$build/packaging/ru.lyumrad.zenda_init.metainfo.xml")"
desktop-file-validate "$src/packaging/zenda-init.desktop" || fail "desktop-file-validate"

# One version: the project's, everywhere it is said.
version=$(sed -n 's/^project(zenda-init VERSION \([^ ]*\) .*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
unpacked="$out/root"
dpkg-deb -x "$deb" "$unpacked"
said=(
  "package $(dpkg-deb -f "$deb" Version)"
  "zenda-init $("$build/app/zenda-init" --version | sed 's/^zenda-init //')"
  "zenda $("$build/cli/zenda" --version | sed 's/^zenda //')"
  "zenda-sim $("$build/sim/zenda-sim" --version | sed 's/^zenda-sim //')"
  "changelog $(zcat "$unpacked/usr/share/doc/zenda-init/changelog.gz" | sed -n '1s/^zenda-init (\([^)]*\)).*/\1/p')"
  "metainfo $(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$unpacked/usr/share/metainfo/ru.lyumrad.zenda_init.metainfo.xml")"
)
# The packaged window program takes no commands on its standard input: the test hook is only in
# zenda-init-test, which is not packaged.
grep -qaF -- --automation "$unpacked/usr/bin/zenda-init" && fail "the packaged zenda-init has the test hook"
grep -qx './usr/bin/zenda-init-test' <<<"$files" && fail "the test build is packaged"
for page in zenda zenda-init zenda-sim; do
  said+=("$page.1 $(zcat "$unpacked/usr/share/man/man1/$page.1.gz" | sed -n '1s/.*"zenda-init \([^"]*\)".*/\1/p')")
done
# zenda as installed finds zenda-init beside it, which draws its protocols: past that check
# a protocol of an unknown journal line is refused for the line.
said_line=$(XDG_DATA_HOME="$out/data" XDG_CONFIG_HOME="$out/config" LANG=C.UTF-8 \
  "$unpacked/usr/bin/zenda" protocol --line 1999-01-01T00:00:00 2>&1 || true)
grep -q "no journal line" <<<"$said_line" || fail "the installed zenda: $said_line"
for s in "${said[@]}"; do
  [ "${s##* }" = "$version" ] || fail "version $version, but $s"
done
echo "package ok: $(basename "$deb"), version $version everywhere"
