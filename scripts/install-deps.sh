#!/usr/bin/env bash
# Installs what building, running and testing brisvel ostrel needs on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev
  libgsf-1-dev libgumbo-dev mdbtools-dev
  pxlib-dev python3-xlrd libdbd-xbase-perl
  fonts-liberation2 fonts-dejavu-core fonts-wine
  xvfb xauth
  poppler-utils
  python3 python3-dbfread
  qt6-translations-l10n
  git desktop-file-utils file dpkg-dev
  clang libclang-rt-14-dev
)
"$(dirname "$0")/install-packages.sh" "${PKGS[@]}"
