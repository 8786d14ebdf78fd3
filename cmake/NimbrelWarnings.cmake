# Our own sources build with warnings as errors; generated code (SWIG wrappers)
# does not call this function and keeps the compiler's defaults.
#
# GCC 12 at -O3 reports impossible overlaps inside std::string's own copies
# (-Wrestrict, GCC bug 105329); those stay warnings so optimised builds pass.
function(nimbrel_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Woverloaded-virtual -Werror
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-error=restrict>)
endfunction()
