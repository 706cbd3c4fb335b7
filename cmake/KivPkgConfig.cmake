# SPDX-License-Identifier: MIT
# kiv_write_pc_file(OUT): writes the pkg-config file for the install folders
# of GNUInstallDirs. With relative folders the file finds the prefix from its
# own place, so an install moved elsewhere still works: from
# <prefix>/<libdir>/pkgconfig it climbs as many levels as that path has (three
# for Debian's lib/x86_64-linux-gnu). Absolute folders are written as they are.
set(KIV_PC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/kiv_io.pc.in)

function(kiv_write_pc_file out)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(KIV_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(KIV_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
    set(KIV_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
  else()
    file(RELATIVE_PATH up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
    string(REGEX REPLACE "/$" "" up "${up}")
    set(KIV_PC_PREFIX "\${pcfiledir}/${up}")
    set(KIV_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
    set(KIV_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  configure_file(${KIV_PC_TEMPLATE} ${out} @ONLY)
endfunction()
