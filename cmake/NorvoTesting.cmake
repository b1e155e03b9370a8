# SPDX-License-Identifier: LGPL-2.1-or-later
# The one way to declare a test.
#
#   norvo_add_test(<name> LABELS <label>...
#       [PROGRAM <target>]        the test program's target (default: <name>)
#       [SOURCES <file>...]       its sources (default: <program>.cpp)
#       [LIBRARIES <lib>...]      what it links besides Qt5::Test
#       [COMMAND <arg>...]        run this instead of building a program
#       [TIMEOUT <seconds>])
#
# Labels select what to run:
#   fast     the day-to-day run: ctest --test-dir build -L fast
#   slow     long runs: soak, leak check, host stress, the long link tests
#   install  the installed tree
#   abi      what the host binds to: soname, exported symbols, layouts
#   browser  the simulator's web page
# scripts/test.sh runs them all.

set(NORVO_TEST_LABELS fast slow install abi browser)

function(norvo_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 test "" "PROGRAM;TIMEOUT" "LABELS;SOURCES;LIBRARIES;COMMAND")
    if(test_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "norvo_add_test(${name}): unknown arguments ${test_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT test_LABELS)
        message(FATAL_ERROR "norvo_add_test(${name}): give it LABELS (${NORVO_TEST_LABELS})")
    endif()
    foreach(label IN LISTS test_LABELS)
        if(NOT label IN_LIST NORVO_TEST_LABELS)
            message(FATAL_ERROR "norvo_add_test(${name}): unknown label '${label}'")
        endif()
    endforeach()

    if(test_COMMAND)
        if(test_PROGRAM OR test_SOURCES OR test_LIBRARIES)
            message(FATAL_ERROR "norvo_add_test(${name}): COMMAND takes no program")
        endif()
        add_test(NAME ${name} COMMAND ${test_COMMAND})
    else()
        if(NOT test_PROGRAM)
            set(test_PROGRAM ${name})
        endif()
        if(NOT test_SOURCES)
            set(test_SOURCES ${test_PROGRAM}.cpp)
        endif()
        add_executable(${test_PROGRAM} ${test_SOURCES})
        target_link_libraries(${test_PROGRAM} PRIVATE ${test_LIBRARIES} Qt5::Test)
        # QtTest programs declare their test class in the .cpp.
        set_target_properties(${test_PROGRAM} PROPERTIES AUTOMOC ON)
        add_test(NAME ${name} COMMAND ${test_PROGRAM})
    endif()

    set_tests_properties(${name} PROPERTIES LABELS "${test_LABELS}")
    if(test_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${test_TIMEOUT})
    endif()
endfunction()
