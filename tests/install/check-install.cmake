# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the build into a scratch prefix, checks the tree and builds the
# consumers against it. Besides what consumers.cmake takes:
#   BUILD  the build folder   WORK  scratch folder
#   LIBDIR, INCLUDEDIR, BINDIR, MANDIR, DATAROOTDIR
#   TOOLS  comma-separated tool names that must be installed
cmake_minimum_required(VERSION 3.16)
include(${CMAKE_CURRENT_LIST_DIR}/consumers.cmake)

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${prefix})
run_checked("installing" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

set(libdir ${prefix}/${LIBDIR})
# The soname chain: dev link -> soname -> real file.
foreach(link libLibNorvo.so:libLibNorvo.so.1 libLibNorvo.so.1:libLibNorvo.so.1.2.3)
    string(REPLACE ":" ";" pair ${link})
    list(GET pair 0 name)
    list(GET pair 1 target)
    if(NOT IS_SYMLINK ${libdir}/${name})
        message(FATAL_ERROR "${libdir}/${name} is not a symbolic link")
    endif()
    file(READ_SYMLINK ${libdir}/${name} pointsTo)
    if(NOT pointsTo STREQUAL target)
        message(FATAL_ERROR "${name} points to '${pointsTo}', not ${target}")
    endif()
endforeach()

set(required
    ${libdir}/libLibNorvo.so.1.2.3
    ${libdir}/cmake/LibNorvo/LibNorvoConfig.cmake
    ${libdir}/cmake/LibNorvo/LibNorvoConfigVersion.cmake
    ${libdir}/pkgconfig/libnorvo.pc)
foreach(header CDriveBaseClass.h CLabelVariable.h DataType.h norvoglobal.h)
    list(APPEND required ${prefix}/${INCLUDEDIR}/norvo/${header})
endforeach()
string(REPLACE "," ";" TOOLS "${TOOLS}")
foreach(tool IN LISTS TOOLS)
    list(APPEND required ${prefix}/${BINDIR}/${tool} ${prefix}/${MANDIR}/man1/${tool}.1)
endforeach()
# norvo-edge's example configuration stays under the prefix.
if("norvo-edge" IN_LIST TOOLS)
    list(APPEND required ${prefix}/${DATAROOTDIR}/doc/norvo-edge/examples/edge.conf)
endif()
foreach(file IN LISTS required)
    if(NOT EXISTS ${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

# The installed host tool loads the installed plug-in, not the build's.
if("norvo" IN_LIST TOOLS)
    run_target("installed norvo" ${prefix}/${BINDIR}/norvo info)
    if(NOT output MATCHES "plug-in +${libdir}/libLibNorvo.so.1")
        message(FATAL_ERROR "the installed norvo did not load ${libdir}/libLibNorvo.so.1:\n${output}")
    endif()
endif()

check_consumers(${prefix} ${libdir} ${WORK})
