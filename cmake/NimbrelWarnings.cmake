# Our own sources build with warnings as errors; generated code (SWIG wrappers)
# does not call this function and keeps the compiler's defaults.
function(nimbrel_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
endfunction()
