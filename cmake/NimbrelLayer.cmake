# One static library per layer, its sources found by glob so that adding a file
# to a layer folder needs no edit here. Layers are combined into libnimbrel.
function(nimbrel_layer name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_LIBS})
  nimbrel_strict_warnings(${name})
endfunction()
