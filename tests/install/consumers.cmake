# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds and runs the consumer in consumer/ against an installed LibNorvo,
# once through find_package and once through pkg-config. Included by the
# install and package checks; they pass on their command line:
#   CONSUMER   the consumer's source folder     CXX        the target's C++ compiler
#   GENERATOR  CMake generator                  TOOLCHAIN  toolchain file, if cross
#   EMULATOR   runs target programs, if cross   MULTIARCH  CMAKE_LIBRARY_ARCHITECTURE
#   PKG_CONFIG pkg-config                       SANITIZER_FLAGS  the build's, if any
#   SYSROOT    the target's sysroot, if cross-built against one

function(run_checked what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}):\n${ARGN}\n${out}\n${err}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

# Runs a program built for the target, through the emulator on a cross build.
function(run_target what)
    run_checked("${what}" ${EMULATOR} ${ARGN})
    string(STRIP "${output}" output)
    message(STATUS "${what}: ${output}")
    set(output "${output}" PARENT_SCOPE)
endfunction()

# prefix: the installed tree; libdir: its library folder.
function(check_consumers prefix libdir work)
    file(REMOVE_RECURSE ${work}/cmake ${work}/pkgconfig)

    set(toolchainArg "")
    if(TOOLCHAIN)
        set(toolchainArg -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
    endif()
    set(sysrootFlag "")
    if(SYSROOT)
        # find_package searches the sysroot only; the installed tree is
        # outside it, so its package folder is named.
        list(APPEND toolchainArg -DNORVO_SYSROOT=${SYSROOT} -DLibNorvo_DIR=${libdir}/cmake/LibNorvo)
        set(sysrootFlag --sysroot=${SYSROOT})
    endif()
    run_checked("configuring the find_package consumer"
        ${CMAKE_COMMAND} -S ${CONSUMER} -B ${work}/cmake -G ${GENERATOR} ${toolchainArg}
        -DCMAKE_PREFIX_PATH=${prefix}
        "-DCMAKE_CXX_FLAGS=${SANITIZER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZER_FLAGS}")
    run_checked("building the find_package consumer" ${CMAKE_COMMAND} --build ${work}/cmake)
    run_target("find_package consumer" ${work}/cmake/consumer)

    # pkg-config must answer for the target: Qt's .pc files of its multiarch
    # folder, this package's from the installed tree.
    set(pcEnv PKG_CONFIG_PATH=${libdir}/pkgconfig)
    if(MULTIARCH)
        list(APPEND pcEnv PKG_CONFIG_LIBDIR=${SYSROOT}/usr/lib/${MULTIARCH}/pkgconfig:${SYSROOT}/usr/share/pkgconfig)
    endif()
    if(SYSROOT)
        list(APPEND pcEnv PKG_CONFIG_SYSROOT_DIR=${SYSROOT})
    endif()
    run_checked("pkg-config" ${CMAKE_COMMAND} -E env ${pcEnv}
        ${PKG_CONFIG} --cflags --libs libnorvo)
    # pkg-config puts the sysroot before every path, the installed tree's
    # too; those are taken back.
    if(SYSROOT)
        string(REPLACE "${SYSROOT}${libdir}/" "${libdir}/" output "${output}")
    endif()
    separate_arguments(flags UNIX_COMMAND "${output}")
    separate_arguments(sanitizerFlags UNIX_COMMAND "${SANITIZER_FLAGS}")
    file(MAKE_DIRECTORY ${work}/pkgconfig)
    # Qt's headers insist on position-independent code.
    run_checked("building the pkg-config consumer"
        ${CXX} ${sysrootFlag} -fPIC ${sanitizerFlags} ${CONSUMER}/main.cpp ${flags} -Wl,-rpath,${libdir}
        -o ${work}/pkgconfig/consumer)
    run_target("pkg-config consumer" ${work}/pkgconfig/consumer)
endfunction()
