# The programs as they ship to the router: static, for the oldest core of
# one CPU family, a row of cmake/targets (ROUTER_TARGET: mips, mipsel, arm or
# aarch64). For mips, big-endian MIPS32 release 1 (-march=mips32, which every
# later MIPS32 core runs) with no FPU instruction (-msoft-float); mipsel the
# same little-endian, arm ARMv5TE with the EABI's soft-float calls, aarch64
# ARMv8.0-A. Linked against musl and GCC's soft-float and 64-bit integer
# routines built for the same core, they start on any Linux router of the
# family, whatever its C library, with or without an FPU or the kernel's FPU
# emulator.
#
#   scripts/router-runtime --target arm
#   cmake -S . -B build-router-arm -DCMAKE_TOOLCHAIN_FILE=cmake/router.cmake \
#         -DROUTER_TARGET=arm -DCMAKE_BUILD_TYPE=MinSizeRel
#
# ROUTER_RUNTIME_DIR names the folder scripts/router-runtime built (by default
# as that script's default: router-runtime in the scripts' cache for mips,
# router-runtime-NAME for the others; cache.cmake). Debian's cross compiler (g++-COMPILER of the table)
# compiles; its C library is never used. Its libstdc++ headers are, for the
# few C++ headers the programs include: there is no libstdc++ to link, so
# nothing that needs one (GoogleTest) is built here.
set(ROUTER_TARGET mips CACHE STRING "Router target, a row of cmake/targets")
get_filename_component(router_top ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# The target's row, by the table's own header.
file(STRINGS ${router_top}/cmake/targets router_rows REGEX "^[^#]")
set(router_columns "")
set(router_row "")
foreach(line IN LISTS router_rows)
    string(REGEX REPLACE "[ \t]+" ";" cells "${line}")
    if(NOT router_columns)
        set(router_columns ${cells})
    else()
        list(GET cells 0 name)
        list(APPEND router_targets ${name})
        if(name STREQUAL ROUTER_TARGET)
            set(router_row ${cells})
        endif()
    endif()
endforeach()
if(NOT router_row)
    message(FATAL_ERROR "ROUTER_TARGET '${ROUTER_TARGET}' is none of cmake/targets: "
                        "${router_targets}")
endif()
foreach(column compiler flags qemu cpu also kcpu)
    list(FIND router_columns ${column} at)
    list(GET router_row ${at} router_${column})
endforeach()
string(REPLACE "," " " router_flags "${router_flags}")
string(REPLACE "," ";" router_also "${router_also}")

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]*" CMAKE_SYSTEM_PROCESSOR ${router_compiler})

include(${CMAKE_CURRENT_LIST_DIR}/cache.cmake)
if(DEFINED ENV{ROUTER_RUNTIME_DIR})
    set(default_runtime $ENV{ROUTER_RUNTIME_DIR})
else()
    set(default_runtime ${station_cache}/router-runtime)
endif()
if(NOT ROUTER_TARGET STREQUAL "mips")
    string(APPEND default_runtime -${ROUTER_TARGET})
endif()
set(ROUTER_RUNTIME_DIR ${default_runtime} CACHE PATH
    "musl and GCC's routines for the router, as scripts/router-runtime builds them")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ROUTER_TARGET ROUTER_RUNTIME_DIR)
set(STATION_STATIC_ROUTER ON)

set(musl ${ROUTER_RUNTIME_DIR}/musl)
set(runtime_gcc ${ROUTER_RUNTIME_DIR}/libgcc/libgcc.a)
if(NOT EXISTS ${musl}/lib/libc.a OR NOT EXISTS ${runtime_gcc})
    message(FATAL_ERROR "No router runtime in ${ROUTER_RUNTIME_DIR}: run scripts/router-runtime "
                        "--target ${ROUTER_TARGET} ${ROUTER_RUNTIME_DIR}")
endif()

set(CMAKE_C_COMPILER ${router_compiler}-gcc)
set(CMAKE_CXX_COMPILER ${router_compiler}-g++)

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
# The table's flags, as scripts/router-runtime builds the runtime with: the
# oldest core, no FPU, code for a static program (-fno-pie, and -mplt on
# MIPS: direct calls, absolute addresses).
set(target_flags "${router_flags}")
set(c_flags "${target_flags} -nostdinc -isystem ${musl}/include -isystem ${gcc_include}")
set(cxx_flags "${target_flags} -nostdinc${cxx_include} -isystem ${musl}/include \
-isystem ${gcc_include} '-D__GLIBC_PREREQ(major,minor)=1'")

# Static, with musl's start files; GCC's crtbegin and crtend are left out:
# musl runs the constructors itself and nothing here registers unwind tables.
# musl and libgcc as one group: ARM's libgcc raises SIGFPE for a division by
# zero through musl's raise.
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
-o <TARGET> <LINK_LIBRARIES> -Wl,--start-group ${musl}/lib/libc.a ${runtime_gcc} -Wl,--end-group \
${musl}/lib/crtn.o \
-Wl,-Map=<TARGET>.map,--cref")
endforeach()

# Static binaries need no target root; the CPU is the family's oldest core
# (for mips, MIPS32 release 1 without an FPU), as on the oldest routers.
# ROUTER_ALSO_CPUS run a few end-to-end cases again.
set(ROUTER_QEMU_CPU ${router_cpu} CACHE STRING "CPU model ${router_qemu} emulates for the tests")
set(ROUTER_ALSO_CPUS "${router_also}" CACHE STRING "Other CPU models for a few cases")
set(CMAKE_CROSSCOMPILING_EMULATOR ${router_qemu} -cpu ${ROUTER_QEMU_CPU})
# The CPU model of the target's real-kernel runs (tests/kernel).
set(ROUTER_KERNEL_CPU ${router_kcpu})

set(CMAKE_FIND_ROOT_PATH ${musl})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
