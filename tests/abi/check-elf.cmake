# SPDX-License-Identifier: LGPL-2.1-or-later
# The shared library's ELF facts a host depends on:
#   cmake -DLIBRARY=<libLibNorvo.so> -DNM=<nm> -DREADELF=<readelf>
#         -DPROCESSOR=<CMAKE_SYSTEM_PROCESSOR> -DEXPECTED=<symbol list>
#         [-DSANITIZED=ON] -P check-elf.cmake
# NM and READELF are the target's binutils, so this runs natively for a
# cross build too.
cmake_minimum_required(VERSION 3.16)

set(failures "")
macro(fail text)
    string(APPEND failures "${text}\n")
endmacro()

macro(run out)
    execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE ${out} ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "'${ARGN}' failed (${rc}): ${err}")
    endif()
endmacro()

# The host loads the plug-in by this name.
run(dynamic ${READELF} -d ${LIBRARY})
if(NOT dynamic MATCHES "Library soname: \\[libLibNorvo\\.so\\.1\\]")
    fail("soname is not libLibNorvo.so.1:\n${dynamic}")
endif()

# Built for the machine the tests claim to run on.
run(header ${READELF} -h ${LIBRARY})
if(PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(machine "X86-64")
    set(class ELF64)
elseif(PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(machine "AArch64")
    set(class ELF64)
elseif(PROCESSOR MATCHES "^arm")
    set(machine "ARM")
    set(class ELF32)
    # armhf hosts pass floats in VFP registers; a soft-float plug-in would
    # hand them every float and double result in the wrong registers.
    run(attributes ${READELF} -A ${LIBRARY})
    if(NOT attributes MATCHES "Tag_ABI_VFP_args: VFP registers")
        fail("not built for the hard-float ABI:\n${attributes}")
    endif()
endif()
if(machine)
    if(NOT header MATCHES "Machine: +[^\n]*${machine}")
        fail("ELF machine is not ${machine}:\n${header}")
    endif()
    if(NOT header MATCHES "Class: +${class}")
        fail("ELF class is not ${class}:\n${header}")
    endif()
else()
    fail("no ELF machine recorded for processor '${PROCESSOR}'")
endif()

# Exported symbols: exactly the expected list.
run(nmOut ${NM} -D --defined-only ${LIBRARY})
string(REPLACE "\n" ";" nmLines "${nmOut}")
set(actual "")
foreach(line IN LISTS nmLines)
    # "<address> <type> <name>"; absolute linker symbols (type A) are no interface.
    if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ @]+)" AND NOT CMAKE_MATCH_1 STREQUAL "A")
        set(name ${CMAKE_MATCH_2})
        # UBSan's type checks make the compiler emit Qt's type info with
        # default visibility; a sanitizer build is no shipped build.
        if(SANITIZED AND name MATCHES "^_ZT[IS][0-9]+Q")
            continue()
        endif()
        list(APPEND actual ${name})
    endif()
endforeach()
list(REMOVE_DUPLICATES actual)
list(SORT actual)

file(STRINGS ${EXPECTED} expectedLines)
set(expected "")
foreach(line IN LISTS expectedLines)
    string(STRIP "${line}" line)
    if(line AND NOT line MATCHES "^#")
        list(APPEND expected ${line})
    endif()
endforeach()
list(SORT expected)

set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
set(extra ${actual})
list(REMOVE_ITEM extra ${expected})
if(missing OR extra)
    string(REPLACE ";" "\n  " missing "${missing}")
    string(REPLACE ";" "\n  " extra "${extra}")
    fail("exported symbols differ from ${EXPECTED}\n missing:\n  ${missing}\n unexpected:\n  ${extra}")
endif()

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
list(LENGTH actual n)
message(STATUS "soname libLibNorvo.so.1, ${machine} ${class}, ${n} exported symbols as expected")
