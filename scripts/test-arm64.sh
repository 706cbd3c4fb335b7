#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the library and its tests for the board (AArch64) on a Debian PC and
# runs the tests under qemu-user. On AArch64 `char` is unsigned: this catches
# byte handling that only works where it is signed.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg-query -W -f='${Status}' libinih-dev:arm64 2>/dev/null | grep -q "install ok installed" ||
   ! command -v aarch64-linux-gnu-g++ >/dev/null || ! command -v qemu-aarch64 >/dev/null; then
  $SUDO dpkg --add-architecture arm64
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
    crossbuild-essential-arm64 libinih-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64 qemu-user
fi
cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DKIV_IO_WERROR=ON
cmake --build build/arm64 -j "$(nproc 2>/dev/null || echo 2)"
ctest --test-dir build/arm64 --output-on-failure -j 2
