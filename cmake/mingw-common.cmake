# The body shared by the MinGW-w64 toolchain files: each sets
# CMAKE_SYSTEM_PROCESSOR and FILMBAR_MINGW_PREFIX, then includes this. The
# -win32 thread model needs no pthread DLL; libgcc and libstdc++ are linked
# statically, so the program needs no DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${FILMBAR_MINGW_PREFIX}-gcc-win32 ${FILMBAR_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${FILMBAR_MINGW_PREFIX}-g++-win32 ${FILMBAR_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${FILMBAR_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${FILMBAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
