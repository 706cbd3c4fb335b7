#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is needed, builds (Release) and runs the sample inspection
# application on the simulated board through the launcher, with its scenario:
# trigger edges, then a lens that stops answering; every event is shown and
# written to build/example/trace.jsonl, and the exit status says whether every
# expectation held. The walk through the whole library runs with
#   build/example/sim/launcher/kiv-sim-run --script examples/example.script \
#     build/example/examples/kiv_io_example
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
build=build/example
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKIV_IO_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
exec "$build/sim/launcher/kiv-sim-run" --scenario examples/inspection/passing.json \
  --trace "$build/trace.jsonl" "$build/examples/kiv_inspection"
