# Dynamic cross build for 32-bit big-endian MIPS (o32 ABI), with Debian's
# mips-linux-gnu compiler (package g++-mips-linux-gnu) and glibc: the GoogleTest
# unit suite runs here, big-endian, as GoogleTest needs a libstdc++, which
# Debian ships for glibc only. Tests and test discovery run the target binaries
# under qemu-mips (package qemu-user). What ships to the router is the static
# build of cmake/mips-router.cmake.
#
#   cmake -S . -B build-mips-glibc -DCMAKE_TOOLCHAIN_FILE=cmake/mips-linux-gnu.cmake
#
# A firmware's own SDK makes a dynamic build for its router through the same
# file: MIPS_CROSS_PREFIX names its compiler, MIPS_SYSROOT its target root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(MIPS_CROSS_PREFIX "mips-linux-gnu-" CACHE STRING "Prefix of the cross compiler's tools")
set(MIPS_SYSROOT "/usr/mips-linux-gnu" CACHE PATH
    "Target root with the C library and the loader, for qemu-mips and find_*")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIPS_CROSS_PREFIX MIPS_SYSROOT)

set(CMAKE_C_COMPILER ${MIPS_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${MIPS_CROSS_PREFIX}g++)

# -L: the binaries are dynamic; qemu must find the target's loader and
# libraries rather than the host's.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mips -L ${MIPS_SYSROOT})

# Headers and libraries come from the target root only; helper programs from
# the host.
set(CMAKE_FIND_ROOT_PATH ${MIPS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
