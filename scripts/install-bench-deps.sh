#!/usr/bin/env bash
# Installs the programs bench/compare.sh measures brisvel-cli against: GDAL's
# ogr2ogr, Python's dbfread and mdbtools' mdb-export. Only the side-by-side
# benchmarks need them; neither the build, the tests nor CI do, so
# scripts/install-deps.sh leaves them out.
set -euo pipefail
PKGS=(gdal-bin python3-dbfread mdbtools time)
"$(dirname "$0")/install-packages.sh" "${PKGS[@]}"
