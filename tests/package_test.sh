#!/usr/bin/env bash
# The .deb that CPack builds holds the program, the command line with its man page and
# completion, the simulator, the desktop entry and the icon,
# and asks apt for the Qt libraries it was built against (the X11 plug-in comes with libqt6gui6).
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(ls "$out"/zenda-init_*.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/zenda-init ./usr/bin/zenda-sim ./usr/bin/zenda ./usr/share/applications/zenda-init.desktop \
         ./usr/share/icons/hicolor/scalable/apps/zenda-init.svg ./usr/share/man/man1/zenda.1 \
         ./usr/share/bash-completion/completions/zenda; do
  grep -qx "$f" <<<"$files" || { echo "missing in the package: $f"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6gui6 || { echo "no Qt GUI dependency"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "no Qt Widgets dependency"; exit 1; }
echo "package ok: $(basename "$deb")"
