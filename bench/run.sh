#!/usr/bin/env bash
# Builds the project, makes the one-million-record table once and runs the benchmarks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target make_table bench_dbase bench_dbase_order bench_filter bench_search bench_export bench_grid bench_print bench_paradox_keyed
data=${BENCH_DATA:-/tmp/brisvel-bench}
mkdir -p "$data"
records=${RECORDS:-1000000}
table="$data/kunden$records.dbf"
[ -f "$table" ] || "$build/make_table" "$table" "$records"
# A warm page cache, as a user who opens a table twice has it.
cat "$table" > /dev/null
"$build/bench_dbase" "$table"
"$build/bench_dbase_order" "$table"
"$build/bench_filter" "$table"
"$build/bench_search" "$table"
QT_QPA_PLATFORM=offscreen "$build/bench_grid" "$table"
"$build/bench_export" "$table" "$data/export"
# The printout: 100,000 records into PDF, and a fifth of that to see that memory does not grow.
for n in 20000 100000; do
  small="$data/kunden$n.dbf"
  [ -f "$small" ] || "$build/make_table" "$small" "$n"
  "$build/bench_print" "$small" "$data/print$n.pdf"
done
# A keyed Paradox table of a million records: open, walk and one change of each kind.
"$build/bench_paradox_keyed" "$here/../shared/fixtures/paradox/db/GENERAL.DB" "$here/../shared/fixtures/paradox/db/GENERAL.PX" "$here/../shared/fixtures/paradox/db/CUSTOMER.X06" "$here/../shared/fixtures/paradox/db/CUSTOMER.Y06" "$data/paradox-keyed" "$records"
