# SPDX-License-Identifier: MIT
# Any sanitizer report ends the process, so a report fails the test that caused it.
if(KIV_IO_SANITIZE AND KIV_IO_SANITIZE_THREAD)
  message(FATAL_ERROR "KIV_IO_SANITIZE and KIV_IO_SANITIZE_THREAD cannot be combined: "
                      "ThreadSanitizer excludes AddressSanitizer")
endif()
if(KIV_IO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(KIV_IO_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
# The fuzz build: every part instrumented for libFuzzer's coverage and checked
# by ASan and UBSan; the fuzz programs alone link libFuzzer (fuzz/).
if(KIV_IO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KIV_IO_FUZZ needs clang (CC=clang CXX=clang++): libFuzzer is clang's")
  endif()
  if(KIV_IO_SANITIZE OR KIV_IO_SANITIZE_THREAD)
    message(FATAL_ERROR "KIV_IO_FUZZ brings its own sanitizers: leave KIV_IO_SANITIZE* off")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
