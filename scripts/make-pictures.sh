#!/usr/bin/env bash
# Renders the pictures drawn as SVG in src/widgets/pictures/ into the PNG files
# the program and the install step use. Run after changing an SVG; the PNGs are
# kept in the repository so building needs no SVG renderer.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
dir=$(cd "$(dirname "$0")/../src/widgets/pictures" && pwd)
command -v rsvg-convert >/dev/null || { echo "rsvg-convert fehlt (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$dir/brisvel.svg" -o "$dir/brisvel-$size.png"
done
rsvg-convert -w 206 -h 18 "$dir/logo.svg" -o "$dir/logo.png"
rsvg-convert -w 150 -h 20 "$dir/halvorin.svg" -o "$dir/halvorin.png"
