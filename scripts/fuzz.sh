#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each on seeds
# made from the real fixture files: by default 60 s per target (six targets,
# at most six minutes). FUZZ_SECONDS=<n> runs each longer, FUZZ_TARGETS="html csv"
# picks targets, FUZZ_TIMEOUT=<n> the seconds one input may take; findings land in build-fuzz/findings/<target>/ and fail the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
fixtures=${BRISVEL_FIXTURES_DIR:-$here/../shared/fixtures}
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-"dbase paradox excel html csv filter"}
# Seconds one input may take before libFuzzer calls it a hang; a busy machine
# needs more than an idle one.
timeout=${FUZZ_TIMEOUT:-20}
out=$here/build-fuzz

cmake -S "$here" -B "$out" -G Ninja -DBRISVEL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j2

# Seeds: each fixture table with its companion files joined into one input,
# in the order the target splits them (tests/fuzz/FuzzTable.h).
python3 "$here/scripts/fuzz_seeds.py" "$fixtures" "$out/seeds"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
status=0
for t in $targets; do
  corpus=$out/corpus/$t
  findings=$out/findings/$t
  mkdir -p "$corpus" "$findings"
  echo "== fuzz_$t: ${seconds} s"
  # Library chatter on standard error is not a finding; libFuzzer's own report
  # is kept in the log.
  if ! "$out/fuzz_$t" "$corpus" "$out/seeds/$t" -max_total_time="$seconds" -max_len=1048576 \
      -rss_limit_mb=2048 -timeout="$timeout" -artifact_prefix="$findings/" -print_final_stats=1 \
      >"$out/fuzz_$t.log" 2>&1; then
    echo "fuzz_$t found a fault; see $out/fuzz_$t.log and $findings/"
    grep -E "ERROR|SUMMARY|==[0-9]+==" "$out/fuzz_$t.log" | head -20 || true
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$out/fuzz_$t.log" || true
done
exit $status
