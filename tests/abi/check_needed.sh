#!/bin/sh
# SPDX-License-Identifier: MIT
# The library's dynamic section names each given library as needed.
# usage: check_needed.sh LIBRARY NAME...
set -eu
lib=$1
shift
needed=$(objdump -p "$lib" | awk '$1 == "NEEDED" { print $2 }')
for name in "$@"; do
  if ! echo "$needed" | grep -qx "$name"; then
    echo "$lib does not name $name as needed; it needs:" $needed
    exit 1
  fi
done
echo "needs $*"
