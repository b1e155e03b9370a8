# SPDX-License-Identifier: LGPL-2.1-or-later
# The built library's ABI against the baseline:
#   cmake -DABIDIFF=<abidiff> -DBASELINE=<file.abi> -DLIBRARY=<libLibNorvo.so> -P check-abi.cmake
# abidiff's exit status is a bit set: 1 error, 2 usage error, 4 the ABIs
# differ, 8 an incompatible difference (a symbol gone). A difference is let
# through only when all it holds is additions: no function or variable
# removed or changed, no ELF property changed.
cmake_minimum_required(VERSION 3.16)

if(NOT EXISTS ${BASELINE})
    message(FATAL_ERROR "no baseline ${BASELINE}: make it with the abi-baseline target")
endif()
execute_process(COMMAND ${ABIDIFF} --no-show-locs ${BASELINE} ${LIBRARY}
    RESULT_VARIABLE rc OUTPUT_VARIABLE report ERROR_VARIABLE err)
if(NOT rc MATCHES "^[0-9]+$")
    message(FATAL_ERROR "abidiff did not run: ${rc} ${err}")
endif()
if(rc EQUAL 0)
    message(STATUS "ABI as in ${BASELINE}")
    return()
endif()

set(incompatible OFF)
math(EXPR failed "${rc} & 11")
if(failed)
    set(incompatible ON)
endif()
# The summary lines count what was removed and changed.
string(REGEX MATCHALL "[0-9]+ (Removed|Changed)" counts "${report}")
foreach(count IN LISTS counts)
    if(NOT count MATCHES "^0 ")
        set(incompatible ON)
    endif()
endforeach()
# Other differences (the soname, the architecture, needed libraries) are
# named in lines saying "changed".
string(REGEX REPLACE "changes summary" "" rest "${report}")
if(rest MATCHES "changed")
    set(incompatible ON)
endif()

if(incompatible)
    message(FATAL_ERROR "the ABI differs from ${BASELINE} incompatibly (abidiff ${rc}):\n"
        "${report}${err}\n"
        "An incompatible change needs a new soname (libLibNorvo.so.2) and a new "
        "baseline; see the README.")
endif()
message(STATUS "additions to the ABI of ${BASELINE} (compatible):\n${report}")
