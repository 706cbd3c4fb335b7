#!/bin/sh
# SPDX-License-Identifier: MIT
# The library's dynamic symbol table holds exactly the promised names, and its
# SONAME is libkiv_io.so.
# usage: check_symbols.sh LIBRARY SYMBOL_LIST...
set -eu
lib=$1
shift
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')
if [ "$soname" != "libkiv_io.so" ]; then
  echo "SONAME is '$soname', expected libkiv_io.so"
  exit 1
fi
expected=$(mktemp)
actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
cat "$@" | grep -v -E '^[[:space:]]*(#|$)' | sort -u > "$expected"
# Sanitizer builds add instrumentation symbols of their own; they are not ours.
nm -D --defined-only "$lib" | awk '{ print $NF }' |
  grep -v -E '^(__odr_asan|__asan|__ubsan|__sancov|_init$|_fini$|_edata$|_end$|__bss_start$)' |
  sort -u > "$actual"
if ! diff -u "$expected" "$actual"; then
  echo "exported symbols differ from the promised list ('-' missing, '+' leaked)"
  exit 1
fi
echo "$(wc -l < "$actual") exported symbols, as promised"
