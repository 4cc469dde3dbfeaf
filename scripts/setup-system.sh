#!/usr/bin/env bash
# Installs the Debian packages Keyhold needs to build and test.
#   setup-system.sh native   - native build and the terminal host
#   setup-system.sh all      - plus the mingw-w64 cross toolchains, wine, Xvfb
#                              and Double Commander with what drives it
# Safe to run again: it only installs what is missing.
set -euo pipefail
what=${1:-all}

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

native_pkgs=(build-essential cmake ninja-build pkg-config
             libcrypto++-dev libtinyxml-dev libsimpleini-dev libboost-dev
             libgtest-dev libgmock-dev libreadline-dev libbenchmark-dev zip unzip
             openssl libssl-dev perl clang libclang-rt-14-dev
             libxcb1-dev libxcb-xtest0-dev libxcb-xkb-dev libxkbcommon-dev libxkbcommon-x11-dev)
cross_pkgs=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
            binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
            dpkg-dev xvfb xauth x11-utils wine wine64 wine32:i386)
# The plug-in in the real Double Commander, driven on Xvfb (tests/dc).
desktop_pkgs=(doublecmd-gtk xdotool openbox imagemagick libx11-dev x11-xkb-utils)

missing() {
  local out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || out+=("$p")
  done
  echo "${out[@]:-}"
}

# Debian source packages (for the cross-built dependencies) need deb-src entries.
enable_deb_src() {
  local f changed=0
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -q '^Types: deb$' "$f"; then
      $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"; changed=1
    fi
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
     && ! grep -q '^deb-src ' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
    changed=1
  fi
  echo $changed
}

need_update=0
pkgs=("${native_pkgs[@]}")
if [ "$what" = all ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386; need_update=1
  fi
  [ "$(enable_deb_src)" = 1 ] && need_update=1
  pkgs+=("${cross_pkgs[@]}" "${desktop_pkgs[@]}")
fi

todo=$(missing "${pkgs[@]}")
if [ -n "$todo" ] || [ "$need_update" = 1 ] || [ ! -e /var/lib/apt/lists/lock ]; then
  $SUDO apt-get update -q
fi
if [ -n "$todo" ]; then
  echo "installing: $todo"
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $todo
fi
