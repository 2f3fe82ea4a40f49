#!/usr/bin/env bash
# Regenerates docs/images/about.png: brisvel in a real X window (Xvfb), F1
# pressed as a user presses it, the About box captured with ImageMagick's import.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
command -v import >/dev/null || { apt-get update && apt-get install -y --no-install-recommends imagemagick; }
command -v xdotool >/dev/null || { apt-get update && apt-get install -y --no-install-recommends xdotool; }
export XDG_CONFIG_HOME=$(mktemp -d)
xvfb-run -a -s "-screen 0 1100x800x24" bash -c "
  '$build/brisvel' '$here/samples/kunden.dbf' & pid=\$!
  sleep 4
  window=\$(xdotool search --name 'brisvel ostrel' | head -n1)
  xdotool windowfocus --sync \"\$window\"
  xdotool key F1
  sleep 2
  import -window root -crop 501x310+217+201 '$here/docs/images/about.png'
  kill \$pid"
