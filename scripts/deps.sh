#!/usr/bin/env bash
# Installs what building and testing zenda-init needs on Debian 12, when it is missing.
# With package names as arguments: those instead (scripts/windows.sh uses it so).
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-l10n-tools libgl-dev libgtest-dev googletest
      fonts-liberation2 xvfb xauth x11-utils python3-serial poppler-utils lintian appstream desktop-file-utils
      postgresql-15 postgresql-client-15 libpq-dev openssl strace sudo libzint-dev dmtx-utils)
[ $# -gt 0 ] && pkgs=("$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "zenda-init: installing ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
