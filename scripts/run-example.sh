#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is needed, builds (Release) and runs the example program on the
# simulated board through the launcher, with the script that raises its input
# edges and sends it text on com1. Commands typed while it runs go to the
# launcher (try "help").
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
build=build/example
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKIV_IO_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
exec "$build/sim/launcher/kiv-sim-run" --script examples/example.script \
  "$build/examples/kiv_io_example"
