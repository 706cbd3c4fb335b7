# SPDX-License-Identifier: MIT
# Man pages made from the programs' own --help at build time with help2man
# (Debian's help2man), installed compressed (gzip -9n: no name or time in the
# header, so that a build makes the same files again; help2man takes the
# page's date from SOURCE_DATE_EPOCH when it is set). A cross build runs the
# program under its emulator for it; without one, or without help2man, the
# build says so and has no page.
find_program(KIV_HELP2MAN help2man)
find_program(KIV_GZIP gzip)

# kiv_man_page(TARGET NAME SUMMARY COMPONENT [COMMANDS]): NAME.1.gz from
# TARGET's help, installed with COMPONENT. With COMMANDS (a CLI11 program with
# subcommands), also NAME-COMMAND.1.gz for each command NAME's help lists,
# with the help of the command and of every subcommand below it; the commands
# are read from the help at build time (cmake/kiv_man_pages.sh), so a new one
# has its page without a change here.
function(kiv_man_page target name summary component)
  cmake_parse_arguments(PARSE_ARGV 4 arg "COMMANDS" "" "")
  if(NOT KIV_HELP2MAN OR NOT KIV_GZIP)
    message(STATUS "kiv_io: no man page for ${name}: help2man or gzip is not installed")
    return()
  endif()
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
  if(arg_COMMANDS)
    # The pages of the commands are known only once the program runs: the
    # folder holds this program's pages alone and is installed whole.
    set(pages ${CMAKE_CURRENT_BINARY_DIR}/${name}-man1)
    set(script ${PROJECT_SOURCE_DIR}/cmake/kiv_man_pages.sh)
    set(page ${pages}/${name}.1.gz)
    file(MAKE_DIRECTORY ${pages})
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E env "PATH=${folder}:$ENV{PATH}"
              sh ${script} ${KIV_HELP2MAN} ${name} ${summary} ${PROJECT_VERSION} ${pages}
      DEPENDS ${target} ${script}
      COMMENT "Man pages ${name}.1 and ${name}-COMMAND.1 from their --help"
      VERBATIM)
    install(DIRECTORY ${pages}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component}
      FILES_MATCHING PATTERN "*.1.gz")
  else()
    set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E env "PATH=${folder}:$ENV{PATH}"
              ${KIV_HELP2MAN} --no-info --section=1 --name=${summary}
              --version-string=${PROJECT_VERSION} --output=${CMAKE_CURRENT_BINARY_DIR}/${name}.1
              ${name}
      COMMAND ${KIV_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/${name}.1
      DEPENDS ${target}
      COMMENT "Man page ${name}.1 from its --help"
      VERBATIM)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  endif()
  add_custom_target(${name}_man_page ALL DEPENDS ${page})
endfunction()
