# Runs PROGRAM (under EMULATOR, if any) with the half period ARG and checks
# that it is refused: exit status 2, the line OUT on standard output (nothing
# when OUT is not given) and the line ERR on standard error.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARG} trace
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 2)
    message(FATAL_ERROR "exit status ${status}, expected 2")
endif()
set(expected_out "")
if(DEFINED OUT)
    set(expected_out "${OUT}\n")
endif()
if(NOT out STREQUAL expected_out)
    message(FATAL_ERROR "standard output '${out}', expected '${expected_out}'")
endif()
if(NOT err STREQUAL "${ERR}\n")
    message(FATAL_ERROR "standard error '${err}', expected '${ERR}'")
endif()
