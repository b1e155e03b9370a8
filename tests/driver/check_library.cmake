# The shared library as the host's loader sees it: its soname, and which of
# its symbols it exports (the factory, the label record's operations and
# what Qt's meta-type system instantiates; nothing else of ours).
#
#   cmake -DLIBRARY=<file> -DREADELF=<readelf> -DNM=<nm> -P check_library.cmake

execute_process(COMMAND ${READELF} -d ${LIBRARY}
                OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
if(NOT dynamic MATCHES "Library soname: \\[libLibNorvo\\.so\\.1\\]")
    message(FATAL_ERROR "soname is not libLibNorvo.so.1:\n${dynamic}")
endif()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")

set(allowed
    "^getSharedLibrary$"
    "14CLabelVariable"              # the record's operations
    "QMetaTypeId|qt_metatype_id|QtPrivate|QMetaType" # list meta-types
    "^_ZT[IS][0-9]+Q"               # type info of Qt's classes (sanitizer builds)
    "^_init$|^_fini$|^_edata$|^_end$|^__bss_start$") # the linker's own
set(found_factory FALSE)
set(found_record FALSE)
set(unexpected "")
foreach(line IN LISTS lines)
    if(line STREQUAL "")
        continue()
    endif()
    string(REGEX REPLACE "^.* " "" name "${line}")
    if(name STREQUAL "getSharedLibrary")
        set(found_factory TRUE)
    endif()
    if(name MATCHES "^_ZN14CLabelVariableC[12]Ev$")
        set(found_record TRUE)
    endif()
    set(ok FALSE)
    foreach(pattern IN LISTS allowed)
        if(name MATCHES "${pattern}")
            set(ok TRUE)
        endif()
    endforeach()
    if(NOT ok)
        string(APPEND unexpected "  ${line}\n")
    endif()
endforeach()

if(NOT found_factory)
    message(FATAL_ERROR "getSharedLibrary is not exported")
endif()
if(NOT found_record)
    message(FATAL_ERROR "CLabelVariable's constructor is not exported")
endif()
if(NOT unexpected STREQUAL "")
    message(FATAL_ERROR "unexpected exported symbols:\n${unexpected}")
endif()
message(STATUS "soname and exported symbols as expected")
