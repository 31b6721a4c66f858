#!/usr/bin/env bash
# Runs every test program of a build in one process each, shuffled and twice over, a few at a time: a test
# that only passes in a process of its own, or only the first time, fails here.
# Usage: tests/run-whole.sh [BUILD_DIR] [PARALLEL] [SEED]
set -euo pipefail
build=${1:-build-test}
parallel=${2:-4}
seed=${3:-4242}
logs="$build/whole-logs"
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen
mapfile -t programs < <(find "$build/tests" -maxdepth 1 -type f -name 'test_*' -perm -u+x | sort)
echo "${#programs[@]} programs, seed $seed, $parallel at a time; logs in $logs"
printf '%s\n' "${programs[@]}" | xargs -P "$parallel" -I{} bash -c '
  name=$(basename "$1")
  if timeout 1800 "$1" --gtest_shuffle --gtest_repeat=2 --gtest_random_seed="$2" >"$3/$name.log" 2>&1; then
    echo "passed $name"
  else
    echo "FAILED $name (exit $?): $3/$name.log"
  fi' _ {} "$seed" "$logs" | tee "$logs/summary"
! grep -q '^FAILED' "$logs/summary"
