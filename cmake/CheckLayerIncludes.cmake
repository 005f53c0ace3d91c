# Fails when a source file includes a header from a folder its own folder may not use.
#
#   cmake -DQRP_SOURCE_DIR=<tree> -DQRP_LAYERS_FILE=<file> -P CheckLayerIncludes.cmake
#
# QRP_LAYERS_FILE sets QRP_LAYERS (the layered folders) and QRP_USES_<folder> (the folders
# each may use besides itself), as the top CMakeLists writes them. A quoted include is
# looked up as the compiler does: beside the including file first, then from the top of
# the tree; what it names outside the layered folders (Qt, the standard library, a
# test's own helpers) is not judged.
cmake_minimum_required(VERSION 3.25)

if(NOT QRP_SOURCE_DIR OR NOT QRP_LAYERS_FILE)
  message(FATAL_ERROR "usage: cmake -DQRP_SOURCE_DIR=DIR -DQRP_LAYERS_FILE=FILE -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
include(${QRP_LAYERS_FILE})
get_filename_component(root "${QRP_SOURCE_DIR}" ABSOLUTE)

set(violations 0)
set(checked 0)
foreach(layer IN LISTS QRP_LAYERS)
  if(NOT IS_DIRECTORY "${root}/${layer}")
    continue()
  endif()
  file(GLOB_RECURSE sources LIST_DIRECTORIES false
       "${root}/${layer}/*.h" "${root}/${layer}/*.hpp" "${root}/${layer}/*.cpp")
  foreach(src IN LISTS sources)
    math(EXPR checked "${checked} + 1")
    get_filename_component(here "${src}" DIRECTORY)
    file(STRINGS "${src}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
      if(header MATCHES "^\\.\\.?/" OR EXISTS "${here}/${header}")
        get_filename_component(target "${here}/${header}" ABSOLUTE)
      else()
        get_filename_component(target "${root}/${header}" ABSOLUTE)
      endif()
      file(RELATIVE_PATH rel "${root}" "${target}")
      if(rel MATCHES "^\\.\\./")
        continue() # outside the tree
      endif()
      string(REGEX REPLACE "/.*$" "" used "${rel}")
      if(used STREQUAL layer OR NOT used IN_LIST QRP_LAYERS)
        continue()
      endif()
      if(NOT used IN_LIST QRP_USES_${layer})
        file(RELATIVE_PATH where "${root}" "${src}")
        message(NOTICE "${where}: includes \"${header}\", but ${layer}/ may not use ${used}/ "
                       "(${layer}/ may use: ${QRP_USES_${layer}})")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layer order in ${checked} files")
endif()
message(STATUS "layer order kept by the includes of ${checked} files")
