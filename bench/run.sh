#!/usr/bin/env bash
# Builds the project, makes the one-million-record table once and runs the benchmarks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target make_table bench_dbase bench_filter bench_export bench_grid
data=${BENCH_DATA:-/tmp/brisvel-bench}
mkdir -p "$data"
records=${RECORDS:-1000000}
table="$data/kunden$records.dbf"
[ -f "$table" ] || "$build/make_table" "$table" "$records"
# A warm page cache, as a user who opens a table twice has it.
cat "$table" > /dev/null
"$build/bench_dbase" "$table"
"$build/bench_filter" "$table"
QT_QPA_PLATFORM=offscreen "$build/bench_grid" "$table"
"$build/bench_export" "$table" "$data/export"
