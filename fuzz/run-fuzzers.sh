#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a number of seconds each.
#   fuzz/run-fuzzers.sh BUILD_DIR SECONDS
# Each target starts from its seed corpus (fuzz/corpus/<target>, never
# written to) plus what earlier runs found (BUILD_DIR/corpus/<target>).
# A crash leaves its input in BUILD_DIR/artifacts/ and fails the run.
set -uo pipefail

build_dir=${1:?build directory}
seconds=${2:?seconds per target}
seeds="$(cd "$(dirname "$0")" && pwd)/corpus"

passed=0
failed=0
for seed_dir in "$seeds"/*/; do
  target=$(basename "$seed_dir")
  binary="$build_dir/fuzz/$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz: $target was not built" >&2
    failed=$((failed + 1))
    continue
  fi
  mkdir -p "$build_dir/corpus/$target" "$build_dir/artifacts"
  log="$build_dir/artifacts/$target.log"
  if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
      -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$target-" \
      "$build_dir/corpus/$target" "$seed_dir" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ok, ${runs:-?} runs in ${seconds}s"
    passed=$((passed + 1))
  else
    echo "fuzz: $target FAILED; its output:" >&2
    tail -n 60 "$log" >&2
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
