# SPDX-License-Identifier: MIT
# Installs the library with its headers, a pkg-config file (kiv_io) and a
# CMake package (find_package(kiv_io) gives kiv_io::kiv_io), in three
# components: runtime (the library), development (headers, pkg-config and
# CMake files) and, in a PC build, simulator (the stand-ins, the I2C layer, the
# launcher, the example and the demo).
include(CMakePackageConfigHelpers)

set(KIV_SIM_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/${KIV_SIM_PRIVATE_DIR})

install(TARGETS kiv_io EXPORT kiv_ioTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
if(KIV_GPIO_SIMULATED OR KIV_STRIP_SIMULATED)
  # The stand-ins sit in a private folder that only this library looks into.
  set_target_properties(kiv_io PROPERTIES INSTALL_RPATH "$ORIGIN/${KIV_SIM_PRIVATE_DIR}")
endif()
if(KIV_GPIO_SIMULATED)
  # A PC install carries the WiringPi stand-in the library is linked with, so
  # applications built against it run on the simulated board.
  install(TARGETS wiringPi EXPORT kiv_ioTargets
    LIBRARY DESTINATION ${KIV_SIM_INSTALL_DIR} COMPONENT simulator)
  install(FILES sim/gpio/include/wiringPi.h sim/gpio/include/wiringPi_sim.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io/sim COMPONENT simulator)
endif()
if(KIV_STRIP_SIMULATED)
  # Likewise the rpi_ws281x stand-in, whose ws2811.h kiv_strip.h includes.
  install(TARGETS ws2811 EXPORT kiv_ioTargets
    LIBRARY DESTINATION ${KIV_SIM_INSTALL_DIR} COMPONENT simulator)
  install(DIRECTORY sim/strip/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io/sim
    COMPONENT simulator)
else()
  # The board's strip library has no package of its own: the development
  # files carry the headers of the one linked in, which kiv_strip.h includes.
  install(FILES ${WS2811_INCLUDE_DIR}/ws2811.h ${WS2811_INCLUDE_DIR}/rpihw.h
    ${WS2811_INCLUDE_DIR}/pwm.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io/ws2811
    COMPONENT development)
endif()
if(KIV_GPIO_SIMULATED AND KIV_STRIP_SIMULATED)
  # The rest of the simulated board: an unmodified application runs on it.
  install(TARGETS kiv_sim_i2c_preload LIBRARY DESTINATION ${KIV_SIM_INSTALL_DIR}
    COMPONENT simulator)
  install(PROGRAMS $<TARGET_FILE:kiv-sim-run-installed> DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT simulator)
  # A recorded trace as a waveform, beside the launcher that writes both.
  install(TARGETS kiv-sim-vcd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
  install(TARGETS kiv_io_example kiv_strip_demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT simulator)
  install(FILES examples/example.script examples/kiv_io_example.cpp
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kiv_io/examples COMPONENT simulator)
endif()
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io COMPONENT development)

set(KIV_IO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kiv_io)
install(EXPORT kiv_ioTargets NAMESPACE kiv_io:: DESTINATION ${KIV_IO_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/kiv_ioConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfig.cmake INSTALL_DESTINATION ${KIV_IO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfigVersion.cmake DESTINATION ${KIV_IO_CMAKE_DIR}
  COMPONENT development)

include(cmake/KivPkgConfig.cmake)
kiv_write_pc_file(${CMAKE_CURRENT_BINARY_DIR}/kiv_io.pc)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kiv_io.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
