#!/usr/bin/env bash
# Installs the programs bench/compare.sh measures brisvel-cli against: GDAL's
# ogr2ogr, Python's dbfread and mdbtools' mdb-export. Only the side-by-side
# benchmarks need them; neither the build, the tests nor CI do, so
# scripts/install-deps.sh leaves them out.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PKGS=(gdal-bin python3-dbfread mdbtools time)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
