#!/bin/sh
# SPDX-License-Identifier: MIT
# Writes the pkg-config file for several install layouts (Debian's multiarch
# library folder among them), puts it where an install would, and checks that
# its -I and -L name the installed folders.
# usage: check_pkgconfig_paths.sh SOURCE_DIR
set -eu
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The real folder a -I/-L flag names, or its text when the folder is missing.
real() {
  (cd "$1" 2>/dev/null && pwd -P) || echo "$1"
}

check() {
  libdir=$1
  includedir=$2
  prefix=$scratch/$3
  work=$scratch/layout-$(echo "$libdir" | tr / _)
  mkdir -p "$work"
  cat > "$work/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.18)
project(pc VERSION 1.0.0 LANGUAGES NONE)
set(CMAKE_INSTALL_LIBDIR "$libdir")
set(CMAKE_INSTALL_INCLUDEDIR "$includedir")
set(CMAKE_INSTALL_PREFIX "$prefix")
include(GNUInstallDirs)
include("$src/cmake/KivPkgConfig.cmake")
kiv_write_pc_file("\${CMAKE_BINARY_DIR}/kiv_io.pc")
CMAKE
  cmake -S "$work" -B "$work/build" > /dev/null
  case $libdir in /*) libfull=$libdir ;; *) libfull=$prefix/$libdir ;; esac
  case $includedir in /*) incfull=$includedir ;; *) incfull=$prefix/$includedir ;; esac
  mkdir -p "$libfull/pkgconfig" "$incfull/kiv_io"
  cp "$work/build/kiv_io.pc" "$libfull/pkgconfig/"
  flags=$(PKG_CONFIG_PATH="$libfull/pkgconfig" pkg-config --cflags --libs kiv_io)
  inc=$(echo "$flags" | tr ' ' '\n' | sed -n 's/^-I//p')
  lib=$(echo "$flags" | tr ' ' '\n' | sed -n 's/^-L//p')
  if [ "$(real "$inc")" != "$(real "$incfull/kiv_io")" ] || [ "$(real "$lib")" != "$(real "$libfull")" ]; then
    echo "libdir $libdir: pkg-config gives '$flags', expected -I$incfull/kiv_io -L$libfull" >&2
    exit 1
  fi
}

check lib include usr-local
check lib/x86_64-linux-gnu include usr
check lib64 include opt/kiv
check "$scratch/abs/lib" "$scratch/abs/include" abs-prefix
echo "the pkg-config file names the installed folders for every layout"
