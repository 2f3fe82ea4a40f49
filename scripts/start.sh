#!/usr/bin/env bash
# Installs what is missing, builds, and starts brisvel (on the bundled sample table
# when no file is named): scripts/start.sh [TABLE-FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja
cmake --build "$here/build"
# Without a file name the bundled sample table is opened.
if [ "$#" -eq 0 ]; then
  set -- "$here/build/samples/kunden.dbf"
fi
exec "$here/build/brisvel" "$@"
