#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for SECONDS
# (default 5), one after the other in one process each (one core), starting from its corpus in
# fuzz/NAME/corpus and its dictionary. New inputs go to build/fuzz/found/NAME,
# never into the tree; a fault stops the run with its input saved in
# build/fuzz/faults/NAME and the exit status 1.
#   sh scripts/fuzz.sh [SECONDS [NAME...]]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-5}
[ $# -gt 0 ] && shift
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DKIV_IO_FUZZ=ON -DKIV_IO_BUILD_TESTS=OFF \
  -DKIV_IO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target kiv_fuzz
targets=$*
if [ -z "$targets" ]; then
  for dir in fuzz/*/corpus; do
    name=$(basename "$(dirname "$dir")")
    # A target whose part this build leaves out (the view) has no program.
    [ -x "$build/fuzz/kiv_fuzz_$name" ] && targets="$targets $name"
  done
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for name in $targets; do
  found="$build/found/$name"
  faults="$build/faults/$name"
  mkdir -p "$found" "$faults"
  dict=""
  [ -f "fuzz/$name/$name.dict" ] && dict="-dict=fuzz/$name/$name.dict"
  echo "== fuzz $name: $seconds s =="
  log="$build/$name.log"
  status=0
  # shellcheck disable=SC2086
  "$build/fuzz/kiv_fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$faults/" $dict "$found" "fuzz/$name/corpus" \
    >"$log" 2>&1 || status=$?
  # How far it got: executions, coverage (cov: edges, ft: features), and any fault.
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed|check failed|ERROR|SUMMARY' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 30 "$log" >&2
    echo "fuzz $name: exit status $status, log in $log" >&2
    exit 1
  fi
done
