# The programs as they ship to the router: static, for big-endian MIPS32
# release 1 (-march=mips32, which every later MIPS32 core runs) and with no FPU
# instruction (-msoft-float), linked against musl and GCC's soft-float and
# 64-bit integer routines built the same way. They start on any big-endian
# MIPS32 Linux router, whatever its C library, with or without an FPU or the
# kernel's FPU emulator.
#
#   scripts/router-runtime build-router-runtime
#   cmake -S . -B build-router -DCMAKE_TOOLCHAIN_FILE=cmake/mips-router.cmake \
#         -DCMAKE_BUILD_TYPE=MinSizeRel
#
# MIPS_RUNTIME_DIR names the folder scripts/router-runtime built (by default
# build-router-runtime beside this folder). Debian's cross compiler
# (g++-mips-linux-gnu) compiles; its glibc and libgcc are never used. Its
# libstdc++ headers are, for the few C++ headers the programs include: there is
# no libstdc++ to link, so nothing that needs one (GoogleTest) is built here.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(MIPS_CROSS_PREFIX "mips-linux-gnu-" CACHE STRING "Prefix of the cross compiler's tools")
get_filename_component(default_runtime ${CMAKE_CURRENT_LIST_DIR}/../build-router-runtime ABSOLUTE)
set(MIPS_RUNTIME_DIR ${default_runtime} CACHE PATH
    "musl and GCC's routines for the router, as scripts/router-runtime builds them")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIPS_CROSS_PREFIX MIPS_RUNTIME_DIR)
set(STATION_STATIC_ROUTER ON)

set(musl ${MIPS_RUNTIME_DIR}/musl)
set(runtime_gcc ${MIPS_RUNTIME_DIR}/libgcc/libgcc.a)
if(NOT EXISTS ${musl}/lib/libc.a OR NOT EXISTS ${runtime_gcc})
    message(FATAL_ERROR "No router runtime in ${MIPS_RUNTIME_DIR}: "
                        "run scripts/router-runtime ${MIPS_RUNTIME_DIR}")
endif()

set(CMAKE_C_COMPILER ${MIPS_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${MIPS_CROSS_PREFIX}g++)

# The compiler's own headers (stddef.h, ...) and its libstdc++ headers, found
# where it searches by default.
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=include
                OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -x c++ -E -v -
                INPUT_FILE /dev/null OUTPUT_QUIET ERROR_VARIABLE search)
string(REGEX MATCHALL "\n [^\n]*/c\\+\\+/[^\n]*" cxx_dirs "${search}")
set(cxx_include "")
foreach(d IN LISTS cxx_dirs)
    string(STRIP "${d}" d)
    string(APPEND cxx_include " -isystem ${d}")
endforeach()

# musl's headers in place of glibc's. Debian's libstdc++ headers test the
# glibc version; musl has everything those tests look for. These flags are
# part of the compile and link rules, not of CMAKE_<LANG>_FLAGS, so that flags
# given for a build add to them and can never drop them.
# -fno-pie -mplt: code for a static program (direct calls, absolute
# addresses), as scripts/router-runtime builds the runtime.
set(target_flags "-march=mips32 -msoft-float -fno-pie -mplt")
set(c_flags "${target_flags} -nostdinc -isystem ${musl}/include -isystem ${gcc_include}")
set(cxx_flags "${target_flags} -nostdinc${cxx_include} -isystem ${musl}/include \
-isystem ${gcc_include} '-D__GLIBC_PREREQ(major,minor)=1'")

# Static, with musl's start files; GCC's crtbegin and crtend are left out:
# musl runs the constructors itself and nothing here registers unwind tables.
# -L: -lm must find musl's (empty) libm.a, not glibc's. Every program leaves a
# link map with cross references beside it, from which scripts/check-size
# tells what the program's own code calls.
foreach(lang C CXX)
    string(TOLOWER ${lang} l)
    set(CMAKE_${lang}_COMPILE_OBJECT
        "<CMAKE_${lang}_COMPILER> ${${l}_flags} <DEFINES> <INCLUDES> <FLAGS> -o <OBJECT> -c <SOURCE>")
    set(CMAKE_${lang}_LINK_EXECUTABLE
        "<CMAKE_${lang}_COMPILER> ${target_flags} -static -no-pie -nostdlib -L${musl}/lib \
<FLAGS> <CMAKE_${lang}_LINK_FLAGS> <LINK_FLAGS> ${musl}/lib/crt1.o ${musl}/lib/crti.o <OBJECTS> \
-o <TARGET> <LINK_LIBRARIES> ${musl}/lib/libc.a ${runtime_gcc} ${musl}/lib/crtn.o \
-Wl,-Map=<TARGET>.map,--cref")
endforeach()

# Static binaries need no target root; the CPU is MIPS32 release 1 without an
# FPU, as on the oldest routers.
set(MIPS_QEMU_CPU 4Kc CACHE STRING "CPU model qemu-mips emulates for the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mips -cpu ${MIPS_QEMU_CPU})

set(CMAKE_FIND_ROOT_PATH ${musl})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
