#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what building and testing libkiv_io needs on a Debian machine.
set -eu
cd "$(dirname "$0")/.."
packages="cmake g++ make pkg-config binutils libinih-dev libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev"
# A real serial peer in the tests: pyserial over a socat pseudo-terminal pair.
packages="$packages python3-serial socat"
# kivctl's terminal, typed into as a person does, in its test.
packages="$packages tmux"
# The man pages of kivctl and kiv-sim-run, made from their help (gzip
# compresses them), and man, which shows them in the package tests.
packages="$packages help2man gzip man-db"
# The launcher's view in the browser, and its browser test (headless Chromium
# driven by playwright-core from npm).
packages="$packages libcpp-httplib-dev chromium"
# The waveform test decodes a run's serial lines and I2C bus with sigrok's
# protocol decoders.
packages="$packages sigrok-cli"
# The fuzz targets: clang 14 and its run-time libraries (libFuzzer, the sanitizers).
packages="$packages clang libclang-rt-14-dev"
# Node.js and npm only where none is installed (another source's node brings its own npm).
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages="$packages nodejs npm"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "installing:$missing"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
# playwright-core, at the version of tests/view/package-lock.json (it drives
# Debian's chromium; it downloads no browser of its own).
if [ ! -f tests/view/node_modules/playwright-core/package.json ] ||
   [ tests/view/package-lock.json -nt tests/view/node_modules/.package-lock.json ]; then
  npm ci --prefix tests/view --no-audit --no-fund
fi
