#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is needed, builds (Release) and runs the sample inspection
# application on the simulated board through the launcher, with its scenario:
# trigger edges, then a lens that stops answering; every event is shown and
# written to build/trace.jsonl, and the exit status says whether every
# expectation held. It builds into build/, the folder README's commands name,
# so the launcher and the programs are where README shows them; the walk
# through the whole library then runs with
#   build/sim/launcher/kiv-sim-run --script examples/example.script \
#     build/examples/kiv_io_example
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
build=build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKIV_IO_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
exec "$build/sim/launcher/kiv-sim-run" --scenario examples/inspection/passing.json \
  --trace "$build/trace.jsonl" "$build/examples/kiv_inspection"
