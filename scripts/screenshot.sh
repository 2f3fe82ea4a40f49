#!/usr/bin/env bash
# Regenerates docs/images/mainwindow.png: brisvel on the sample table in a real
# X window (Xvfb), captured with ImageMagick's import.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
command -v import >/dev/null || { apt-get update && apt-get install -y --no-install-recommends imagemagick; }
export XDG_CONFIG_HOME=$(mktemp -d)
xvfb-run -a -s "-screen 0 1100x800x24" bash -c "
  '$build/brisvel' '$here/samples/kunden.dbf' & pid=\$!
  sleep 4
  import -window root -crop 935x713+0+0 '$here/docs/images/mainwindow.png'
  kill \$pid"
