# Runs PROGRAM (under EMULATOR, if any) with a negative half period and checks
# its output and exit status.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} -5 trace
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 2)
    message(FATAL_ERROR "exit status ${status}, expected 2")
endif()
if(NOT out STREQUAL "sltime: -5\n")
    message(FATAL_ERROR "standard output '${out}', expected 'sltime: -5'")
endif()
if(NOT err STREQUAL "hubpoll: the half clock period cannot be negative\n")
    message(FATAL_ERROR "standard error '${err}'")
endif()
