#!/usr/bin/env bash
# Runs every test program whole, its tests in a random order, a few times:
# no test may depend on what an earlier one left behind in the process.
# Usage: scripts/shuffle.sh [BUILD_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
repeat="${2:-3}"
# The language ctest gives every test, whatever the machine's.
export VANTREL_LANG=it
for t in "$dir"/*_tests; do
  "$t" --gtest_shuffle --gtest_repeat="$repeat" --gtest_brief=1 >"$dir/shuffle-$(basename "$t").log" 2>&1 || {
    echo "shuffle: $t failed (seed and failures in $dir/shuffle-$(basename "$t").log):"
    grep -E 'Random seed|FAILED|Failure' "$dir/shuffle-$(basename "$t").log" | head -20
    exit 1
  }
  echo "shuffle: $(basename "$t"): $repeat shuffled runs passed"
done
