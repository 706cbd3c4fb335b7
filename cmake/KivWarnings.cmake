# SPDX-License-Identifier: MIT
function(kiv_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Wnon-virtual-dtor -Wformat=2)
  if(KIV_IO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
