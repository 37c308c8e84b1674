# Cross-compiling for Debian arm64 (Raspberry Pi OS and other arm64 Linux machines), run here
# under qemu's user-mode emulation:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Needs crossbuild-essential-arm64, qemu-user-static and the arm64 -dev packages from Debian's
# multiarch archive (scripts/test-arm64 installs them).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KESTROVE_TRIPLET aarch64-linux-gnu)
find_program(CMAKE_C_COMPILER ${KESTROVE_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER ${KESTROVE_TRIPLET}-g++ REQUIRED)
# pkg-config reads the arm64 libraries' files, not the machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${KESTROVE_TRIPLET}/pkgconfig:/usr/share/pkgconfig)

# The arm64 libraries live beside the machine's own (multiarch); find only those.
set(CMAKE_LIBRARY_ARCHITECTURE ${KESTROVE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Built programs (the data generator, the tests) run under qemu; -L is where the arm64 loader and
# C library are.
find_program(KESTROVE_QEMU qemu-aarch64-static qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVE_QEMU} -L /usr/${KESTROVE_TRIPLET})
