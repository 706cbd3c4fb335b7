#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is needed, builds with warnings as errors and runs the whole
# test suite four times: plain, under AddressSanitizer and
# UndefinedBehaviorSanitizer, under ThreadSanitizer (any report fails the test
# that caused it), and built for the board (AArch64) under qemu-user
# (scripts/test-arm64.sh); every fuzz target runs for a few seconds in a
# stage of its own (scripts/fuzz.sh). Each stage's time is printed, and all
# of them at the end.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
times=""

# stage NAME COMMAND...: runs the command and notes its time.
stage() {
  name=$1
  shift
  started=$(date +%s)
  echo "== $name =="
  "$@"
  took=$(($(date +%s) - started))
  echo "== $name: ${took} s =="
  times="$times$(printf '%-40s %5d s' "$name" "$took")
"
}

run_suite() {
  dir=$1
  shift
  cmake -S . -B "$dir" -DKIV_IO_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

all_started=$(date +%s)
stage "dependencies" sh scripts/install-deps.sh
stage "plain build" run_suite build/test-plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage "sanitised build (address, undefined)" run_suite build/test-sanitize \
  -DCMAKE_BUILD_TYPE=Debug -DKIV_IO_SANITIZE=ON -DKIV_IO_SANITIZE_THREAD=OFF
unset ASAN_OPTIONS UBSAN_OPTIONS
export TSAN_OPTIONS=halt_on_error=1:abort_on_error=1:second_deadlock_stack=1
stage "sanitised build (thread)" run_suite build/test-tsan \
  -DCMAKE_BUILD_TYPE=Debug -DKIV_IO_SANITIZE_THREAD=ON -DKIV_IO_SANITIZE=OFF
unset TSAN_OPTIONS
stage "fuzz targets, 5 s each" sh scripts/fuzz.sh 5
stage "AArch64 build under qemu-user" sh scripts/test-arm64.sh
printf '== stage times ==\n%s%-40s %5d s\n' "$times" "total" "$(($(date +%s) - all_started))"
