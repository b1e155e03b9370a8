# SPDX-License-Identifier: LGPL-2.1-or-later
# Checks a man page against its program:
#   cmake -DTOOL=<program> [-DEMULATOR=<runner>] -DPAGE=<page.1> -DGROFF=<groff>
#         -P check-manpage.cmake
cmake_minimum_required(VERSION 3.16)

execute_process(COMMAND ${EMULATOR} ${TOOL} --help
    RESULT_VARIABLE rc OUTPUT_VARIABLE help ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} --help failed (${rc}): ${err}")
endif()

# The options as --help lists them: every --word and -letter that starts
# a word of the text. Brackets go first: an unmatched [ in a CMake list
# item joins it to every item after it ("[--node" in a synopsis).
string(REPLACE "[" " " help "${help}")
string(REPLACE "]" " " help "${help}")
string(REGEX MATCHALL "(^|[ \n,])--?[a-z][a-z0-9-]*" found "${help}")
set(options "")
foreach(option IN LISTS found)
    string(REGEX REPLACE "^[ \n,]" "" option "${option}")
    string(REGEX REPLACE "-$" "" option "${option}")
    list(APPEND options ${option})
endforeach()
list(REMOVE_DUPLICATES options)
list(LENGTH options count)
if(count LESS 3)
    message(FATAL_ERROR "found only '${options}' in the help of ${TOOL}:\n${help}")
endif()

# In the page's source a dash is "\-"; an option counts where it stands as
# a whole word.
file(READ ${PAGE} page)
string(REPLACE "\\-" "-" page "${page}")
set(missing "")
foreach(option IN LISTS options)
    string(REPLACE "-" "\\-" pattern "${option}")
    if(NOT page MATCHES "(^|[^a-z0-9-])${pattern}([^a-z0-9-]|$)")
        list(APPEND missing ${option})
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "${PAGE} does not describe ${missing}, which ${TOOL} --help lists")
endif()

# The page's EXIT STATUS gives each code with its causes: a run that ends
# with a code must find it there, under the words that name its cause.
string(REGEX MATCH "\\.SH EXIT STATUS\n(.*)" exits "${page}")
string(REGEX REPLACE "\n\\.SH .*" "" exits "${CMAKE_MATCH_1}")
# The arguments, "@", the words the code's entry must hold.
set(runs "--no-such-option@command line")
if(TOOL MATCHES "norvo-sim")
    list(APPEND runs "--serial /dev/norvo-no-such-device,9600,8,1,N@serial line")
endif()
foreach(run IN LISTS runs)
    string(FIND "${run}" "@" at)
    string(SUBSTRING "${run}" 0 ${at} arguments)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${run}" ${at} -1 words)
    separate_arguments(arguments UNIX_COMMAND "${arguments}")
    execute_process(COMMAND ${EMULATOR} ${TOOL} ${arguments} RESULT_VARIABLE code OUTPUT_QUIET ERROR_QUIET)
    string(REGEX MATCH "\\.B ${code}\n([^.]|\\.[^T]|\n)*" entry "${exits}")
    string(REPLACE "\n" " " entry "${entry}")
    if(NOT entry MATCHES "${words}")
        message(FATAL_ERROR "${TOOL} ${arguments} exits ${code}; ${PAGE} gives no such code for: ${words}")
    endif()
endforeach()

execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE warnings)
if(NOT rc EQUAL 0 OR warnings)
    message(FATAL_ERROR "groff -man -ww renders ${PAGE} with complaints (${rc}):\n${warnings}")
endif()
message(STATUS "${PAGE}: ${count} options of --help described; renders cleanly")
