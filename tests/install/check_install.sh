#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix, then builds and runs a small
# application against it twice: through pkg-config and through find_package.
# usage: check_install.sh BUILD_DIR CXX SOURCE_DIR
set -eu
build=$1
cxx=$2
here=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
lib=$(ls -d "$scratch"/prefix/lib*/ | head -n 1)
# A PC build installs the simulated board's programs too.
if [ -x "$build/sim/launcher/installed/kiv-sim-run" ]; then
  for program in kiv-sim-run kiv-sim-vcd; do
    [ -x "$scratch/prefix/bin/$program" ] || { echo "bin/$program not installed" >&2; exit 1; }
  done
  "$scratch/prefix/bin/kiv-sim-vcd" 2>&1 | grep -q "^usage: " ||
    { echo "the installed kiv-sim-vcd does not run" >&2; exit 1; }
fi

flags=$(PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --cflags --libs kiv_io)
"$cxx" -std=c++17 "$here/consumer.cpp" $flags -Wl,-rpath,"$lib" -o "$scratch/with_pkgconfig"
"$scratch/with_pkgconfig" > /dev/null

mkdir "$scratch/app"
cat > "$scratch/app/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.18)
project(app CXX)
find_package(kiv_io 1 REQUIRED)
add_executable(app "$here/consumer.cpp")
target_link_libraries(app PRIVATE kiv_io::kiv_io)
CMAKE
cmake -S "$scratch/app" -B "$scratch/app/build" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" > /dev/null
cmake --build "$scratch/app/build" > /dev/null
"$scratch/app/build/app" > /dev/null
echo "installed library, headers, pkg-config file and CMake package work for an application"
