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
