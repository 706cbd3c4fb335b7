#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is needed, builds with warnings as errors and runs the whole
# test suite three times: plain, under AddressSanitizer and
# UndefinedBehaviorSanitizer, and under ThreadSanitizer (any report fails the
# test that caused it).
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  dir=$1
  shift
  started=$(date +%s)
  cmake -S . -B "$dir" -DKIV_IO_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
  echo "== $dir: $(($(date +%s) - started)) s =="
}

echo "== plain build =="
run_suite build/test-plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitised build (address, undefined) =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/test-sanitize -DCMAKE_BUILD_TYPE=Debug -DKIV_IO_SANITIZE=ON -DKIV_IO_SANITIZE_THREAD=OFF
echo "== sanitised build (thread) =="
TSAN_OPTIONS=halt_on_error=1:abort_on_error=1:second_deadlock_stack=1 \
  run_suite build/test-tsan -DCMAKE_BUILD_TYPE=Debug -DKIV_IO_SANITIZE_THREAD=ON -DKIV_IO_SANITIZE=OFF
