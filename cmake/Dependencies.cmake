# Third-party code comes from Debian packages (see scripts/bootstrap); nothing is vendored.

set(GM_THIRD_PARTY_DIR ${CMAKE_BINARY_DIR}/third_party)

# zlib: on Windows the target's own static library (the MinGW package ships one under
# /usr/<triple>), so that the programs import system DLLs only; on Linux the system's
# shared one, as a Debian package must.
if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

# LZMA SDK (lzma-dev). Its C sources share /usr/include/lzma with xz's headers, so that
# folder never goes on an include path: the nine files are copied into the build tree.
set(GM_LZMA_SDK_SOURCE_DIR /usr/include/lzma CACHE PATH "Folder holding the LZMA SDK C sources")
set(_lzma_dir ${GM_THIRD_PARTY_DIR}/lzma-sdk)
set(_lzma_files 7zVersion.h Types.h LzFind.c LzFind.h LzHash.h LzmaDec.c LzmaDec.h LzmaEnc.c LzmaEnc.h)
set(_lzma_sources)
foreach(_f IN LISTS _lzma_files)
  if(NOT EXISTS ${GM_LZMA_SDK_SOURCE_DIR}/${_f})
    message(FATAL_ERROR "LZMA SDK file ${GM_LZMA_SDK_SOURCE_DIR}/${_f} is missing: run scripts/bootstrap")
  endif()
  configure_file(${GM_LZMA_SDK_SOURCE_DIR}/${_f} ${_lzma_dir}/lzma/${_f} COPYONLY)
  if(_f MATCHES "\\.c$")
    list(APPEND _lzma_sources ${_lzma_dir}/lzma/${_f})
  endif()
endforeach()
add_library(lzmasdk STATIC ${_lzma_sources})
target_include_directories(lzmasdk SYSTEM PUBLIC ${_lzma_dir})
target_compile_definitions(lzmasdk PRIVATE _7ZIP_ST)
# C code that never throws needs no unwind tables.
target_compile_options(lzmasdk PRIVATE -fno-asynchronous-unwind-tables)
# The decoder is where an install spends its processor time: built for speed even in a
# build for size (it is a few kilobytes either way).
set_source_files_properties(${_lzma_dir}/lzma/LzmaDec.c PROPERTIES COMPILE_OPTIONS -O2)
if(WIN32)
  target_compile_definitions(lzmasdk PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()
set_target_properties(lzmasdk PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)

# Header-only libraries: only their own folder is copied, so a MinGW build never sees
# the host's /usr/include (glibc's headers would win over MinGW's).
function(gm_header_only_library name package_dir)
  if(NOT EXISTS /usr/include/${package_dir})
    message(FATAL_ERROR "/usr/include/${package_dir} is missing: run scripts/bootstrap")
  endif()
  file(COPY /usr/include/${package_dir} DESTINATION ${GM_THIRD_PARTY_DIR}/include)
  add_library(${name} INTERFACE)
  target_include_directories(${name} SYSTEM INTERFACE ${GM_THIRD_PARTY_DIR}/include)
endfunction()
gm_header_only_library(cli11 CLI)
gm_header_only_library(nlohmann_json nlohmann)

# GoogleTest: the installed library natively, built from Debian's sources for MinGW.
if(GM_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${GM_THIRD_PARTY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # googletest's own build defines the GTest:: names.
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
