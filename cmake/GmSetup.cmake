# gm_add_setup(<target> [PACKAGE <file.gmz>] [OUTPUT_DIRECTORY <dir>] [OUTPUT_NAME <name>]
#              [EXCLUDE_FROM_ALL])
#
# Builds an installer program: the install run, its manifest (administrator rights,
# Windows Vista to 10) and version information, and, with PACKAGE, that package as its
# resource "DATA" 105. Without PACKAGE it is the stub that `gmz sfx` puts packages into.
function(gm_add_setup target)
  cmake_parse_arguments(ARG "EXCLUDE_FROM_ALL" "PACKAGE;OUTPUT_DIRECTORY;OUTPUT_NAME" "" ${ARGN})
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set(_content "#include \"${GM_SETUP_RESOURCES}\"\n")
  if(ARG_PACKAGE)
    string(APPEND _content "105 DATA \"${ARG_PACKAGE}\"\n")
  endif()
  file(GENERATE OUTPUT ${_rc} CONTENT "${_content}")
  set(_all)
  if(ARG_EXCLUDE_FROM_ALL)
    set(_all EXCLUDE_FROM_ALL)
  endif()
  add_executable(${target} WIN32 ${_all} ${PROJECT_SOURCE_DIR}/installer/setup_main_win.cpp
                 ${PROJECT_SOURCE_DIR}/installer/shipped_runtime_win.cpp ${_rc})
  target_link_libraries(${target} PRIVATE gm)
  target_link_options(${target} PRIVATE -municode)
  gm_shipped_program(${target})
  # The resource compiler does not see the files a .rc names: rebuild when they change.
  set(_depends ${GM_SETUP_RESOURCES} ${PROJECT_SOURCE_DIR}/installer/setup.manifest)
  if(ARG_PACKAGE)
    list(APPEND _depends ${ARG_PACKAGE})
  endif()
  set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS "${_depends}")
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
  endif()
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
endfunction()
