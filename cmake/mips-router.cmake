# The big-endian MIPS router build by its first name: cmake/router.cmake for
# the target mips, its runtime in MIPS_RUNTIME_DIR where that is given.
set(ROUTER_TARGET mips CACHE STRING "Router target, a row of cmake/targets" FORCE)
if(MIPS_RUNTIME_DIR)
    set(ROUTER_RUNTIME_DIR ${MIPS_RUNTIME_DIR} CACHE PATH
        "musl and GCC's routines for the router, as scripts/router-runtime builds them" FORCE)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIPS_RUNTIME_DIR)
include(${CMAKE_CURRENT_LIST_DIR}/router.cmake)
