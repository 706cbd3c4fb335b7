# SPDX-License-Identifier: MIT
# Any sanitizer report ends the process, so a report fails the test that caused it.
if(KIV_IO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
