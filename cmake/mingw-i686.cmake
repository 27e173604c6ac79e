# Cross-builds the Windows x86 (32-bit) program with MinGW-w64 from a Linux host.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(FILMBAR_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
