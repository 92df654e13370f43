# Sourced: a deb-src entry beside Debian's own list, added once, so that `apt-get source` can
# fetch Debian's sources of what the Windows programs link (Qt, OpenSSL, libpq).
src_list=/etc/apt/sources.list.d/zenda-init-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    | $SUDO tee "$src_list" >/dev/null
  $SUDO apt-get update -qq
fi
