# Cross-compiling the native Windows program with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Pass -DKESTROVE_MINGW_ARCH=i686 for a 32-bit program (needs g++-mingw-w64-i686-posix, and
# wine32 to run it).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT KESTROVE_MINGW_ARCH)
  set(KESTROVE_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${KESTROVE_MINGW_ARCH})
# The compiler checks CMake runs in projects of their own must pick the same compiler.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTROVE_MINGW_ARCH)
set(KESTROVE_MINGW_PREFIX ${KESTROVE_MINGW_ARCH}-w64-mingw32)

# The posix thread model: std::thread and std::mutex work without extra headers.
find_program(CMAKE_C_COMPILER NAMES ${KESTROVE_MINGW_PREFIX}-gcc-posix ${KESTROVE_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTROVE_MINGW_PREFIX}-g++-posix ${KESTROVE_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESTROVE_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unit tests and data generators are host programs: the Linux build runs them and makes the data
# that goes beside kestrove.exe.
set(KESTROVE_TESTS OFF CACHE BOOL "Build the unit tests")
set(KESTROVE_DATA OFF CACHE BOOL "Generate the game's data files")
