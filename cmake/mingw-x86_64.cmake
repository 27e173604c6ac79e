# Cross-builds the Windows x86_64 program with MinGW-w64 from a Linux host.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FILMBAR_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
