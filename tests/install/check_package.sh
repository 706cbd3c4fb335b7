#!/bin/sh
# SPDX-License-Identifier: MIT
# Makes the PC's Debian package, unpacks it into a scratch root (dpkg -x, as
# a developer's machine would hold it), checks what it carries and where (the
# man pages with check_man_pages.sh), and builds and runs a small application
# against the unpacked files through pkg-config and through find_package, and
# once more on the simulated board through the packaged launcher.
# usage: check_package.sh BUILD_DIR CXX SOURCE_DIR
set -eu
build=$1
cxx=$2
here=$3/tests/install
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "$*" >&2
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$scratch/out/libkiv-io-sim_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb among: $(ls "$scratch/out")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
conflicts=$(dpkg-deb -f "$deb" Conflicts)
for other in libkiv-io libkiv-io-dev wiringpi; do
  echo "$conflicts" | tr ', ' '\n\n' | grep -qx "$other" || fail "does not conflict with $other"
done

root=$scratch/root
dpkg -x "$deb" "$root"
lib=$(dirname "$(find "$root" -name libkiv_io.so)")
[ -f "$lib/kiv_io/sim/libwiringPi.so" ] && [ -f "$lib/kiv_io/sim/libws2811.so" ] &&
  [ -f "$lib/kiv_io/sim/libkiv_sim_i2c.so" ] || fail "the stand-ins are not in $lib/kiv_io/sim"
if ls "$lib" | grep -q -e wiringPi -e ws2811; then fail "stand-ins in the library folder $lib"; fi
runpath=$(objdump -p "$lib/libkiv_io.so" | awk '$1 == "RUNPATH" { print $2 }')
[ "$runpath" = '$ORIGIN/kiv_io/sim' ] || fail "run path is '$runpath'"
[ -x "$root/usr/bin/kiv-sim-run" ] && [ -x "$root/usr/bin/kiv-sim-vcd" ] &&
  [ -x "$root/usr/bin/kiv_io_example" ] && [ -x "$root/usr/bin/kiv_strip_demo" ] ||
  fail "launcher, waveform converter, example or demo missing"
[ "$("$root/usr/bin/kivctl" --version)" = "kivctl $version" ] || fail "kivctl does not run"
[ -f "$root/usr/share/man/man1/kiv-sim-run.1.gz" ] || fail "kiv-sim-run's man page missing"
sh "$here/check_man_pages.sh" "$root/usr/share/man/man1" "$root/usr/bin/kivctl" > /dev/null

# pkg-config from the unpacked root: the file finds its prefix from its place.
export PKG_CONFIG_PATH="$lib/pkgconfig"
[ "$(pkg-config --modversion kiv_io)" = "$version" ] || fail "pkg-config version is not $version"
flags=$(pkg-config --cflags --libs kiv_io)
for flag in $flags; do
  case $flag in
    -I* | -L*) [ -d "${flag#-?}" ] || fail "pkg-config names a missing folder: $flag" ;;
  esac
done
"$cxx" -std=c++17 "$here/consumer.cpp" $flags -Wl,-rpath,"$lib" -o "$scratch/with_pkgconfig"
"$scratch/with_pkgconfig" > /dev/null || fail "the pkg-config application failed"

mkdir "$scratch/app"
cat > "$scratch/app/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.18)
project(app CXX)
find_package(kiv_io $version EXACT REQUIRED)
add_executable(app "$here/consumer.cpp")
target_link_libraries(app PRIVATE kiv_io::kiv_io)
CMAKE
cmake -S "$scratch/app" -B "$scratch/app/build" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$root/usr" > "$scratch/app.log" 2>&1 ||
  { cat "$scratch/app.log" >&2; fail "find_package failed"; }
cmake --build "$scratch/app/build" > "$scratch/app.log" 2>&1 ||
  { cat "$scratch/app.log" >&2; fail "the CMake application did not build"; }
"$scratch/app/build/app" > /dev/null || fail "the CMake application failed"

# The packaged launcher runs the application with the packaged library and
# its I2C layer (77: no namespaces here, which the launcher says).
status=0
"$root/usr/bin/kiv-sim-run" "$scratch/with_pkgconfig" < /dev/null > "$scratch/run.log" 2>&1 ||
  status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
  cat "$scratch/run.log" >&2
  fail "the packaged launcher failed ($status)"
fi
echo "the PC package unpacks, carries the simulated board privately and builds applications"
