# SPDX-License-Identifier: MIT
# Installs the library with its headers, a pkg-config file (kiv_io) and a
# CMake package (find_package(kiv_io) gives kiv_io::kiv_io).
include(CMakePackageConfigHelpers)

install(TARGETS kiv_io EXPORT kiv_ioTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(KIV_GPIO_SIMULATED)
  # A PC install carries the WiringPi stand-in the library is linked with, so
  # applications built against it run on the simulated board.
  install(TARGETS wiringPi EXPORT kiv_ioTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES sim/gpio/include/wiringPi.h sim/gpio/include/wiringPi_sim.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io/sim)
endif()
if(KIV_STRIP_SIMULATED)
  # Likewise the rpi_ws281x stand-in, whose ws2811.h kiv_strip.h includes.
  install(TARGETS ws2811 EXPORT kiv_ioTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY sim/strip/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io/sim)
endif()
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kiv_io)

set(KIV_IO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kiv_io)
install(EXPORT kiv_ioTargets NAMESPACE kiv_io:: DESTINATION ${KIV_IO_CMAKE_DIR})
configure_package_config_file(cmake/kiv_ioConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfig.cmake INSTALL_DESTINATION ${KIV_IO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/kiv_ioConfigVersion.cmake DESTINATION ${KIV_IO_CMAKE_DIR})

include(cmake/KivPkgConfig.cmake)
kiv_write_pc_file(${CMAKE_CURRENT_BINARY_DIR}/kiv_io.pc)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kiv_io.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
