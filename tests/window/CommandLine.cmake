# The window's command line: ctest runs this script with -DPROGRAM=<tessary32-config> and
# -DVERSION=<the project's version>.
# Each case: the arguments, the exit status, and a text that must appear on stdout or stderr.
set(cases
    "--help|0|stdout|Usage: "
    "--version|0|stdout|Tessary-32 Kelmora ${VERSION}\n"
    "--frobnicate|2|stderr|Usage: "
    "board3|2|stderr|Usage: ")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 argument)
    list(GET fields 1 status)
    list(GET fields 2 stream)
    list(GET fields 3 expected)
    # A case that opened the window would wait for it to close: the timeout ends it.
    execute_process(COMMAND ${PROGRAM} ${argument} RESULT_VARIABLE result
                    OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr TIMEOUT 20)
    if(NOT result STREQUAL status)
        message(SEND_ERROR "${argument}: exit status ${result}, expected ${status}\n${stderr}")
    endif()
    string(FIND "${${stream}}" "${expected}" at)
    if(at EQUAL -1)
        message(SEND_ERROR "${argument}: '${expected}' not on ${stream}:\n${${stream}}")
    endif()
endforeach()
