# Size-minded release build for the router: -DCMAKE_BUILD_TYPE=MinSizeRel.
# CMake gives it -Os; one section per function and per object lets the
# programs' --gc-sections drop whatever nothing calls, and station_program
# links them stripped. tests/release checks what comes out.
add_compile_options("$<$<CONFIG:MinSizeRel>:-ffunction-sections;-fdata-sections>")
