# The language and the default build type, for the project and for fuzz/.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

# Warnings and code-generation flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wconversion -Wimplicit-fallthrough)
# Errors only where the compiler is known (scripts/test, CI): another compiler
# or build type may warn where this one does not, and must still build.
option(STATION_WERROR "Treat warnings as errors" OFF)
if(STATION_WERROR)
    add_compile_options(-Werror)
endif()
# The single-precision wind arithmetic must round at every step, never fused.
add_compile_options(-ffp-contract=off)

if(STATION_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Code that ships on the router: no exceptions, no RTTI, and every helper either
# declared in a header or kept local to its file.
function(station_code target)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti
                           -Wmissing-declarations)
endfunction()

# The programs need libc and libm only: whatever the C++ runtime would add is
# linked statically and, as nothing of it is used, dropped.
function(station_program target)
    station_code(${target})
    if(NOT STATION_SANITIZE)
        target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc
                            -Wl,--as-needed -Wl,--gc-sections $<$<CONFIG:MinSizeRel>:-s>)
    endif()
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()

# station_lines(program clock data chip): line offsets given as build
# settings must be numbers, or the paths built from them would point nowhere;
# the character device reaches lines on a chip only.
function(station_lines name clock data chip)
    foreach(line ${clock} ${data})
        if(NOT line MATCHES "^[0-9]+$")
            message(FATAL_ERROR "${name}: GPIO line '${line}' is no number")
        endif()
    endforeach()
    if(chip STREQUAL "" AND STATION_GPIO_BACKEND STREQUAL "chardev")
        message(FATAL_ERROR "${name}: the chardev backend needs a GPIO chip")
    endif()
endfunction()
