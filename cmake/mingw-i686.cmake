# 32-bit Windows through Debian's MinGW-w64 (the shipped setup.exe).
set(GM_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
