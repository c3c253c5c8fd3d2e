#!/usr/bin/env bash
# Runs each fuzz target of the clang tree BUILD_DIR for SECONDS, one after the
# other, and prints its executions and coverage. Everything stays below
# BUILD_DIR: the seeds, written afresh from the sources (seeds/), the corpus
# that runs grow and the next run starts from (corpus/), and each input that
# broke a target (findings/). Exits non-zero when a target broke.
set -u
dir=${1:?usage: scripts/fuzz.sh BUILD_DIR SECONDS}
seconds=${2:?usage: scripts/fuzz.sh BUILD_DIR SECONDS}
rm -rf "$dir/seeds"
"$dir/bin/zendrel-fuzz-seeds" "$dir/seeds" || exit 1
passed=0 failed=0
for target in channel-file module-path; do
  mkdir -p "$dir/corpus/$target" "$dir/findings"
  log=$dir/fuzz-$target.log
  "$dir/bin/fuzz-$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$target-" "$dir/corpus/$target" "$dir/seeds/$target" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  edges=$(sed -n 's/.*Loaded 1 modules *(\([0-9]*\) inline 8-bit counters).*/\1/p' "$log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  if [ "$rc" = 0 ]; then
    passed=$((passed + 1))
    echo "fuzz $target: ${runs:-?} runs in $seconds s, ${cov:-cov: ?} (of ${edges:-?} edges), corpus $(ls "$dir/corpus/$target" | wc -l) inputs"
  else
    failed=$((failed + 1))
    sed -n '/invariant broken\|ERROR: \|runtime error/,$p' "$log" | head -n 60
    echo "fuzz $target: FAILED (exit $rc); log $log; rerun the input: $dir/bin/fuzz-$target $dir/findings/$target-*"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" = 0 ]
