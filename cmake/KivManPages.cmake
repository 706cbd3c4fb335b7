# SPDX-License-Identifier: MIT
# Man pages made from the programs' own --help at build time with help2man
# (Debian's help2man). A cross build runs the program under its emulator for
# it; without one, or without help2man, the build says so and has no page.
find_program(KIV_HELP2MAN help2man)

# kiv_man_page(TARGET NAME SUMMARY COMPONENT): NAME.1 from TARGET's help,
# installed with COMPONENT.
function(kiv_man_page target name summary component)
  if(NOT KIV_HELP2MAN)
    message(STATUS "kiv_io: no man page for ${name}: help2man is not installed")
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  # Run by its bare name from PATH, so that its usage line names it so.
  set(folder $<TARGET_FILE_DIR:${target}>)
  if(CMAKE_CROSSCOMPILING)
    if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
      message(STATUS "kiv_io: no man page for ${name}: a cross build without an emulator "
                     "cannot run it for its help")
      return()
    endif()
    # help2man runs a program by the page's name: a script of that name runs
    # the board's program under the emulator.
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/man-run)
    file(GENERATE OUTPUT ${folder}/${name}
      CONTENT "#!/bin/sh\nexec ${emulator} -0 ${name} $<TARGET_FILE:${target}> \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                       WORLD_READ WORLD_EXECUTE)
  endif()
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env "PATH=${folder}:$ENV{PATH}"
            ${KIV_HELP2MAN} --no-info --section=1 --name=${summary}
            --version-string=${PROJECT_VERSION} --output=${page} ${name}
    DEPENDS ${target}
    COMMENT "Man page ${name}.1 from its --help"
    VERBATIM)
  add_custom_target(${name}_man_page ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
