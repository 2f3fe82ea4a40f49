#!/usr/bin/env bash
# Side-by-side benchmarks: each case runs brisvel-cli and its peer in the same
# call, alternating, and prints the medians and their ratio. The peers come
# from scripts/install-bench-deps.sh (GDAL's ogr2ogr, Python's dbfread,
# mdbtools' mdb-export); neither the build nor the tests need them.
#
#   bench/compare.sh                 # 1,000,000 and 10,000,000 records, Access fixtures
#   RECORDS="1000000" RUNS=5 bench/compare.sh
#
# The generated tables (bench/make_table: 278 bytes a record, 2.8 GB at
# 10,000,000) are made under $BENCH_DATA (/tmp/brisvel-compare) and deleted
# after their cases unless KEEP_TABLES=1.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
data=${BENCH_DATA:-/tmp/brisvel-compare}
records_list=${RECORDS:-"1000000 10000000"}
runs=${RUNS:-3}             # runs per case on the generated tables
runs_large=${RUNS_LARGE:-1} # runs per case at 10,000,000 records and more
access_runs=${ACCESS_RUNS:-30}
dbfread_max=${DBFREAD_MAX:-1000000} # dbfread takes minutes per million records: larger tables skip it
fixtures=${FIXTURES:-/work/shared/fixtures}
python=/usr/bin/python3     # Debian's, where python3-dbfread is installed

for tool in ogr2ogr mdb-export "$python"; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool fehlt (scripts/install-bench-deps.sh)" >&2; exit 2; }
done
"$python" -c 'import dbfread' 2>/dev/null || { echo "compare.sh: python3-dbfread fehlt" >&2; exit 2; }
if [ -z "${BUILD_DIR:-}" ] || [ ! -x "$build/brisvel-cli" ]; then
  cmake -S "$here" -B "$build" -G Ninja >/dev/null
  cmake --build "$build" --target brisvel-cli make_table >/dev/null
fi
cli="$build/brisvel-cli"
mkdir -p "$data"
out="$data/out"
mkdir -p "$out"

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load:$(uptime | sed 's/.*load average://')"

# Milliseconds a command takes, its output thrown away or written where it says.
millis() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "compare.sh: failed: $*" >&2; return 1; }
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print int((a[NR/2]+a[NR/2+1])/2)}'; }

# compare NAME RUNS "brisvel command" "peer name" "peer command"
compare() {
  local name=$1 n=$2 ours=$3 peer=$4 theirs=$5 a="" b="" i
  for ((i = 0; i < n; i++)); do
    a+=" $(millis bash -c "$ours")"
    b+=" $(millis bash -c "$theirs")"
  done
  local ma mb
  ma=$(echo "$a" | median)
  mb=$(echo "$b" | median)
  printf '%-44s %4d runs  brisvel %8d ms  %-10s %8d ms  ratio %s\n' "$name" "$n" "$ma" "$peer" "$mb" \
    "$(awk -v x="$ma" -v y="$mb" 'BEGIN { if (y > 0) printf "%.2f", x / y; else print "-" }')"
}

# dbfread's side: every record as CSV, as dump writes it.
cat > "$data/dbfread_csv.py" <<'PY'
import csv, sys
import dbfread
w = csv.writer(sys.stdout)
t = dbfread.DBF(sys.argv[1], encoding="cp1252", char_decode_errors="replace")
w.writerow(t.field_names)
for r in t:
    w.writerow(r.values())
PY

for n in $records_list; do
  table="$data/kunden$n.dbf"
  [ -f "$table" ] || "$build/make_table" "$table" "$n" >/dev/null
  cat "$table" >/dev/null # a warm page cache for every side
  k=$runs
  [ "$n" -ge 10000000 ] && k=$runs_large
  compare "dBASE $n records to CSV" "$k" "'$cli' dump '$table' > '$out/b.csv'" \
    ogr2ogr "rm -f '$out/o.csv'; ogr2ogr -f CSV '$out/o.csv' '$table'"
  if [ "$n" -le "$dbfread_max" ]; then
    compare "dBASE $n records to CSV" "$k" "'$cli' dump '$table' > '$out/b.csv'" \
      dbfread "'$python' '$data/dbfread_csv.py' '$table' > '$out/d.csv'"
  fi
  compare "dBASE $n filter KUNDENNR > $((n / 2))" "$k" "'$cli' dump --filter 'KUNDENNR > $((n / 2))' '$table' > '$out/b.csv'" \
    ogr2ogr "rm -f '$out/o.csv'; ogr2ogr -f CSV -where 'KUNDENNR > $((n / 2))' '$out/o.csv' '$table'"
  rm -f "$out"/*.csv
  if [ "${KEEP_TABLES:-0}" != 1 ]; then rm -f "$table" "${table%.dbf}.dbt"; fi
done

# Access: small files, so mostly the cost of starting and opening; many runs.
access() {
  local file=$1 table=$2
  compare "Access $(basename "$file") \"$table\"" "$access_runs" "'$cli' dump --table '$table' '$file'" \
    mdb-export "mdb-export '$file' '$table'"
}
access "$fixtures/access/jackcess/testV2000.mdb" Table1
access "$fixtures/access/mdbtestdata/nwind.mdb" "Order Details"
