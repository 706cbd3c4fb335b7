# SPDX-License-Identifier: MIT
# Finds the board's GPIO library (WiringPi) and LED strip library
# (rpi_ws281x) as their own installs leave them, and decides, for each, whether
# the library links the real one or the simulated board's stand-in:
#   KIV_IO_USE_SIM=OFF   the real libraries or a configure error naming what is
#                        missing; never a stand-in
#   KIV_IO_USE_SIM=AUTO  each real library where it is found and usable, its
#                        stand-in where not
#   KIV_IO_USE_SIM=ON    the stand-ins
# Sets KIV_GPIO_SIMULATED and KIV_STRIP_SIMULATED; for a real library it
# defines the imported targets wiringPi_board and ws2811_board.
include(CheckCSourceCompiles)
include(CMakePushCheckState)

set_property(CACHE KIV_IO_USE_SIM PROPERTY STRINGS AUTO ON OFF)
string(TOUPPER "${KIV_IO_USE_SIM}" KIV_IO_USE_SIM)
if(NOT KIV_IO_USE_SIM MATCHES "^(AUTO|ON|OFF)$")
  message(FATAL_ERROR "KIV_IO_USE_SIM is '${KIV_IO_USE_SIM}'; it takes AUTO, ON or OFF")
endif()

# WiringPi ships no pkg-config or CMake file: its Makefile install puts
# wiringPi.h in <prefix>/include and libwiringPi.so in <prefix>/lib, its .deb
# in /usr/include and /usr/lib.
function(kiv_find_wiringpi found_var problem_var)
  find_path(WIRINGPI_INCLUDE_DIR wiringPi.h DOC "Folder of the board's wiringPi.h")
  find_library(WIRINGPI_LIBRARY wiringPi DOC "The board's libwiringPi.so")
  set(${found_var} OFF PARENT_SCOPE)
  if(NOT WIRINGPI_INCLUDE_DIR OR NOT WIRINGPI_LIBRARY)
    string(CONCAT problem "WiringPi: wiringPi.h and libwiringPi.so not found (its .deb installs "
        "/usr/include/wiringPi.h and /usr/lib/libwiringPi.so, or set WIRINGPI_INCLUDE_DIR "
        "and WIRINGPI_LIBRARY)")
    set(${problem_var} "${problem}" PARENT_SCOPE)
    return()
  endif()
  add_library(wiringPi_board UNKNOWN IMPORTED GLOBAL)
  set_target_properties(wiringPi_board PROPERTIES
    IMPORTED_LOCATION "${WIRINGPI_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${WIRINGPI_INCLUDE_DIR}")
  set(${found_var} ON PARENT_SCOPE)
endfunction()

# Whether the static archive `archive` can go into a shared library: a
# position-dependent archive fails this link with a relocation error.
function(kiv_archive_is_pic archive include_dir result_var)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_QUIET ON)
  set(CMAKE_REQUIRED_FLAGS "-fPIC")
  set(CMAKE_REQUIRED_LINK_OPTIONS "-shared")
  set(CMAKE_REQUIRED_INCLUDES "${include_dir}")
  set(CMAKE_REQUIRED_LIBRARIES "${archive}" m)
  # The result is kept per archive, so another archive is checked afresh.
  string(MAKE_C_IDENTIFIER "KIV_WS2811_PIC_${archive}" check_var)
  check_c_source_compiles("
    #include <ws2811.h>
    int kiv_strip_start(ws2811_t* strip) { return (int)ws2811_init(strip); }
    int main(void) { return 0; }" ${check_var})
  cmake_pop_check_state()
  set(${result_var} ${${check_var}} PARENT_SCOPE)
endfunction()

# rpi_ws281x installs a pkg-config module (libws2811), its headers under
# <prefix>/include/ws2811/ and, by default, a static libws2811.a built without
# -fPIC. The archive is preferred: the board's package carries the strip
# library inside libkiv_io.so, since Debian has no package of it.
function(kiv_find_ws2811 found_var problem_var)
  pkg_check_modules(WS2811_PC QUIET libws2811)
  find_path(WS2811_INCLUDE_DIR ws2811.h HINTS ${WS2811_PC_INCLUDE_DIRS} PATH_SUFFIXES ws2811
    DOC "Folder of the board's ws2811.h (rpi_ws281x)")
  find_library(WS2811_LIBRARY NAMES libws2811.a ws2811 HINTS ${WS2811_PC_LIBRARY_DIRS}
    DOC "The board's libws2811.a (built position-independent) or libws2811.so")
  set(${found_var} OFF PARENT_SCOPE)
  if(NOT WS2811_INCLUDE_DIR OR NOT WS2811_LIBRARY)
    string(CONCAT problem "rpi_ws281x: ws2811.h (under include/ws2811/) and libws2811 not found "
        "(pkg-config module libws2811, or set WS2811_INCLUDE_DIR and WS2811_LIBRARY)")
    set(${problem_var} "${problem}" PARENT_SCOPE)
    return()
  endif()
  set(static OFF)
  if(WS2811_LIBRARY MATCHES "\\.a$")
    set(static ON)
    kiv_archive_is_pic("${WS2811_LIBRARY}" "${WS2811_INCLUDE_DIR}" pic)
    if(NOT pic)
      string(CONCAT problem "rpi_ws281x: ${WS2811_LIBRARY} is not position-independent, so it "
          "cannot go into the shared libkiv_io.so: rebuild rpi_ws281x with "
          "-DCMAKE_POSITION_INDEPENDENT_CODE=ON (see README)")
      set(${problem_var} "${problem}" PARENT_SCOPE)
      return()
    endif()
  endif()
  add_library(ws2811_board UNKNOWN IMPORTED GLOBAL)
  # The static archive needs the maths library, which its pkg-config file omits.
  set_target_properties(ws2811_board PROPERTIES
    IMPORTED_LOCATION "${WS2811_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${WS2811_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES m)
  set(KIV_WS2811_STATIC ${static} PARENT_SCOPE)
  set(${found_var} ON PARENT_SCOPE)
endfunction()

set(KIV_GPIO_SIMULATED ON)
set(KIV_STRIP_SIMULATED ON)
set(KIV_WS2811_STATIC OFF)
if(NOT KIV_IO_USE_SIM STREQUAL "ON")
  set(kiv_missing "")
  kiv_find_wiringpi(kiv_gpio_found kiv_gpio_problem)
  if(kiv_gpio_found)
    set(KIV_GPIO_SIMULATED OFF)
  else()
    list(APPEND kiv_missing "${kiv_gpio_problem}")
  endif()
  kiv_find_ws2811(kiv_strip_found kiv_strip_problem)
  if(kiv_strip_found)
    set(KIV_STRIP_SIMULATED OFF)
  else()
    list(APPEND kiv_missing "${kiv_strip_problem}")
  endif()
  if(kiv_missing AND KIV_IO_USE_SIM STREQUAL "OFF")
    list(JOIN kiv_missing "\n  " kiv_missing_text)
    message(FATAL_ERROR "kiv_io: KIV_IO_USE_SIM=OFF builds for the board, which needs:\n  "
                        "${kiv_missing_text}")
  endif()
  foreach(problem IN LISTS kiv_missing)
    # An archive that is there but cannot be used is worth more than a note.
    if(problem MATCHES "not position-independent")
      message(WARNING "kiv_io: ${problem}. The stand-in is used instead")
    else()
      message(STATUS "kiv_io: ${problem}")
    endif()
  endforeach()
endif()

if(KIV_GPIO_SIMULATED)
  message(STATUS "kiv_io: GPIO through the simulated board's WiringPi stand-in (sim/gpio)")
else()
  message(STATUS "kiv_io: GPIO through the board's WiringPi (${WIRINGPI_LIBRARY}, "
                 "${WIRINGPI_INCLUDE_DIR}/wiringPi.h)")
endif()
if(KIV_STRIP_SIMULATED)
  message(STATUS "kiv_io: LED strip through the simulated board's rpi_ws281x stand-in (sim/strip)")
elseif(KIV_WS2811_STATIC)
  message(STATUS "kiv_io: LED strip through the board's rpi_ws281x, linked in "
                 "(${WS2811_LIBRARY}, position-independent)")
else()
  message(STATUS "kiv_io: LED strip through the board's rpi_ws281x (${WS2811_LIBRARY})")
endif()
