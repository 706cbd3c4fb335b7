#!/bin/sh
# SPDX-License-Identifier: MIT
# The board build against the board libraries as their own installs leave
# them (WiringPi: wiringPi.h and a shared libwiringPi.so; rpi_ws281x:
# include/ws2811/, a static libws2811.a and the pkg-config module libws2811),
# made here from the stand-ins' sources:
#   - KIV_IO_USE_SIM=OFF without them fails at configure time naming both;
#   - a libws2811.a built without -fPIC is named as such at configure time
#     (OFF fails, AUTO takes the stand-in and says so);
#   - with a position-independent archive the library builds, links the strip
#     library in without exporting any of its symbols, needs the board's
#     libwiringPi.so, and makes the runtime and development packages, the
#     runtime one with kivctl's man pages.
# usage: check_board_build.sh SOURCE_DIR CXX
set -eu
src=$1
cxx=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
[ -z "${KIV_KEEP:-}" ] || trap - EXIT

fail() {
  echo "$*" >&2
  exit 1
}

board=$scratch/board
mkdir -p "$board/include/ws2811" "$board/lib/pkgconfig" "$scratch/empty" "$scratch/obj"
cp "$src/sim/gpio/include/wiringPi.h" "$board/include/"
cp "$src/sim/strip/include/ws2811.h" "$src/sim/strip/include/rpihw.h" \
  "$src/sim/strip/include/pwm.h" "$board/include/ws2811/"
link="$src/sim/link"
"$cxx" -std=c++17 -shared -fPIC -pthread -I"$src/sim/gpio/include" -I"$link" "$src"/sim/gpio/*.cpp \
  "$link/wire_words.cpp" "$link/gpio_wire.cpp" "$link/reporter.cpp" \
  -Wl,-soname,libwiringPi.so -o "$board/lib/libwiringPi.so" &
# archive FLAGS NAME: the strip library as a static archive built with FLAGS.
archive() {
  for part in strip/driver strip/control strip/remote link/wire_words link/strip_wire \
    link/reporter; do
    "$cxx" -std=c++17 -c $1 -I"$src/sim/strip/include" -I"$link" "$src/sim/$part.cpp" \
      -o "$scratch/obj/$2-${part#*/}.o"
  done
  ar rcs "$scratch/$2.a" "$scratch/obj/$2"-*.o
}
archive "-fno-pic -fno-pie" nopic &
archive "-fPIC" pic
wait
cat > "$board/lib/pkgconfig/libws2811.pc" <<PC
prefix=$board
libdir=\${prefix}/lib
includedir=\${prefix}/include/ws2811

Name: libws2811
Description: rpi_ws281x
Version: 1.1.0
Libs: -L\${libdir} -lws2811
Cflags: -I\${includedir}
PC

# configure NAME USE_SIM PREFIX: configures a build of the library; its
# output is in $scratch/NAME.log.
configure() {
  PKG_CONFIG_PATH="$3/lib/pkgconfig" cmake -S "$src" -B "$scratch/$1" -DKIV_IO_BUILD_TESTS=OFF \
    -DKIV_IO_USE_SIM="$2" -DCMAKE_PREFIX_PATH="$3" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON > "$scratch/$1.log" 2>&1
}
# CMake wraps warnings: the text is matched with lines joined.
expect_in() {
  tr '\n' ' ' < "$scratch/$1.log" | sed 's/  */ /g' | grep -qF -- "$2" || {
    cat "$scratch/$1.log" >&2
    fail "$1: configure output lacks '$2'"
  }
}

if configure missing OFF "$scratch/empty"; then fail "OFF without the board libraries configured"; fi
expect_in missing "KIV_IO_USE_SIM=OFF builds for the board"
expect_in missing "WiringPi: wiringPi.h and libwiringPi.so not found"
expect_in missing "rpi_ws281x: ws2811.h (under include/ws2811/) and libws2811 not found"

cp "$scratch/nopic.a" "$board/lib/libws2811.a"
if configure nopic OFF "$board"; then fail "OFF with a position-dependent libws2811.a configured"; fi
expect_in nopic "$board/lib/libws2811.a is not position-independent"
expect_in nopic "DCMAKE_POSITION_INDEPENDENT_CODE=ON"
configure auto AUTO "$board" || fail "AUTO with a position-dependent libws2811.a failed"
expect_in auto "GPIO through the board's WiringPi ($board/lib/libwiringPi.so"
expect_in auto "The stand-in is used instead"
expect_in auto "LED strip through the simulated board's rpi_ws281x stand-in"

cp "$scratch/pic.a" "$board/lib/libws2811.a"
configure real OFF "$board" || { cat "$scratch/real.log" >&2; fail "OFF with the board libraries failed"; }
expect_in real "LED strip through the board's rpi_ws281x, linked in ($board/lib/libws2811.a"
cmake --build "$scratch/real" --target kiv_io kivctl kivctl_man_page -j 2 > "$scratch/build.log" 2>&1 ||
  { tail -n 30 "$scratch/build.log" >&2; fail "the board build failed"; }
lib=$scratch/real/libkiv_io.so
sh "$src/tests/abi/check_symbols.sh" "$lib" "$src"/tests/abi/symbols/*.txt > /dev/null ||
  fail "the board library exports other symbols than the promised list"
sh "$src/tests/abi/check_needed.sh" "$lib" libwiringPi.so > /dev/null
if objdump -p "$lib" | grep -q "NEEDED.*libws2811"; then fail "the board library needs libws2811"; fi

(cd "$scratch/real" && cpack -G DEB > "$scratch/cpack.log" 2>&1) ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
version=$(sed -n 's/^project(kiv_io VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
runtime=$scratch/real/libkiv-io_${version}_$arch.deb
dev=$scratch/real/libkiv-io-dev_${version}_$arch.deb
[ -f "$runtime" ] && [ -f "$dev" ] || fail "packages missing: $(ls "$scratch/real"/*.deb)"
dpkg-deb -f "$runtime" Depends | grep -qw wiringpi || fail "the runtime package does not depend on wiringpi"
dpkg-deb -c "$runtime" | grep -q "/libkiv_io.so$" || fail "the runtime package lacks the library"
dpkg-deb -c "$runtime" | grep -q "/usr/bin/kivctl$" || fail "the runtime package lacks kivctl"
dpkg -x "$runtime" "$scratch/runtime"
sh "$src/tests/install/check_man_pages.sh" "$scratch/runtime/usr/share/man/man1" \
  "$scratch/real/tools/kivctl/kivctl" > /dev/null
dpkg-deb -c "$dev" | grep -q "include/kiv_io/ws2811/ws2811.h$" ||
  fail "the development package lacks the strip library's header"
dpkg-deb -f "$dev" Depends | grep -q "libkiv-io (= $version)" ||
  fail "the development package does not depend on its runtime package"
echo "the board build names, checks and links its libraries and makes its packages"
