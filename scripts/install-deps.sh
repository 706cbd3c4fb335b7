#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what building and testing libkiv_io needs on a Debian machine.
set -eu
packages="cmake g++ make pkg-config binutils libinih-dev libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev"
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
