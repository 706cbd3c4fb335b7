# SPDX-License-Identifier: MIT
# Debian packages (cpack -G DEB in the build folder), named
# <package>_<version>_<architecture>.deb:
#   - a PC build (stand-ins): libkiv-io-sim, the library built on the simulated
#     board together with the simulated board itself, so that an application
#     developer installs one package and runs an unmodified application;
#   - a board build (KIV_IO_USE_SIM=OFF): libkiv-io (the library, with
#     rpi_ws281x linked in) and libkiv-io-dev (headers, pkg-config and CMake
#     files, and the strip library's headers).
set(CPACK_PACKAGE_NAME libkiv-io)
set(CPACK_PACKAGE_VENDOR "libkiv_io")
set(CPACK_PACKAGE_CONTACT "libkiv_io developers <kiv-io@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Device I/O of the optical device: GPIO lines, light controller, lens, LED strip, serial ports")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The architecture of the compiler's target, also in a cross build.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()

if(KIV_GPIO_SIMULATED AND KIV_STRIP_SIMULATED)
  # One package; it must never sit beside the board's packages or the real
  # WiringPi, whose libraries its stand-ins would stand against.
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
  set(CPACK_COMPONENTS_ALL runtime development simulator)
  set(CPACK_DEBIAN_PACKAGE_NAME libkiv-io-sim)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libinih1")
  if(KIV_SIM_VIEW_ENABLED)
    # The launcher's view in the browser serves with cpp-httplib.
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libcpp-httplib0.11")
  endif()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "g++, pkg-config")
  set(CPACK_DEBIAN_PACKAGE_CONFLICTS "libkiv-io, libkiv-io-dev, wiringpi")
  set(CPACK_PACKAGE_DESCRIPTION
      "libkiv_io.so built for the simulated board, with the simulated board: WiringPi and "
      "rpi_ws281x stand-ins (in a private folder), the I2C layer with the lens controller, the "
      "kiv-sim-run launcher, the kiv-sim-vcd trace-to-waveform converter, the example "
      "application and the strip demo.")
elseif(NOT KIV_GPIO_SIMULATED AND NOT KIV_STRIP_SIMULATED)
  # The board: runtime and development packages. WiringPi's own .deb is named
  # "wiringpi"; rpi_ws281x has none and is linked in.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime development)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkiv-io)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libstdc++6, libinih1, wiringpi")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONFLICTS "libkiv-io-sim")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkiv-io-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libkiv-io (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_CONFLICTS "libkiv-io-sim")
  set(CPACK_PACKAGE_DESCRIPTION "libkiv_io.so for the board, with rpi_ws281x linked in.")
  if(NOT KIV_WS2811_STATIC)
    message(WARNING "kiv_io: rpi_ws281x is a shared library here; the board package does not "
                    "carry it, so the board needs it installed by hand (see README)")
  endif()
else()
  # One real library and one stand-in: good for trying things, not for a package.
  set(CPACK_COMPONENTS_ALL runtime development)
  set(CPACK_DEBIAN_PACKAGE_NAME libkiv-io-mixed)
endif()
include(CPack)
