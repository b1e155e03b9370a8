# SPDX-License-Identifier: LGPL-2.1-or-later
# What both ARM toolchain files share. Expects NORVO_CROSS_TRIPLET,
# NORVO_CROSS_PROCESSOR and NORVO_CROSS_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${NORVO_CROSS_PROCESSOR})
# Makes find_package look in /usr/lib/<triplet>/cmake, i.e. pick the
# foreign Qt; its CMake files still name the build machine's moc and rcc.
set(CMAKE_LIBRARY_ARCHITECTURE ${NORVO_CROSS_TRIPLET})

set(CMAKE_C_COMPILER ${NORVO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${NORVO_CROSS_TRIPLET}-g++)

# NORVO_SYSROOT: the target's packages unpacked into one folder instead
# (scripts/arm-sysroot.sh); libraries, headers, CMake and pkg-config files
# come from there only, programs (moc, protoc, qemu) from the build machine.
set(_emulatorPrefix "")
if(NORVO_SYSROOT)
    set(CMAKE_SYSROOT ${NORVO_SYSROOT})
    set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
    set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
    set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
    set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
    set(ENV{PKG_CONFIG_SYSROOT_DIR} ${NORVO_SYSROOT})
    list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NORVO_SYSROOT)
    # There the loader and libc come from the same libc6 package as every
    # other library, so qemu takes all of them from the sysroot.
    set(_emulatorPrefix "-L '${NORVO_SYSROOT}' ")
endif()

# binfmt is not relied on: ctest and the tests that start other programs
# go through the emulator explicitly. The emulator is a one-line wrapper
# around qemu that hands each program a small preload (qemu-nopidfd.c says
# why) through qemu's -E, which sets it for the emulated program only. One
# path rather than a command list, so that tests can embed and start it.
find_program(NORVO_CROSS_EMULATOR_PATH ${NORVO_CROSS_EMULATOR})
if(NORVO_CROSS_EMULATOR_PATH AND NOT CMAKE_IN_TRY_COMPILE)
    set(_preloadSource ${CMAKE_CURRENT_LIST_DIR}/qemu-nopidfd.c)
    set(_preload ${CMAKE_BINARY_DIR}/qemu-nopidfd.so)
    if(${_preloadSource} IS_NEWER_THAN ${_preload})
        execute_process(
            COMMAND ${CMAKE_C_COMPILER} -shared -fPIC -O2 -Wall -Wextra
                    -o ${_preload} ${_preloadSource} -ldl
            RESULT_VARIABLE _rc ERROR_VARIABLE _err)
        if(NOT _rc EQUAL 0)
            message(FATAL_ERROR "cannot build ${_preload}: ${_err}")
        endif()
    endif()
    set(_wrapperName ${NORVO_CROSS_EMULATOR}-run)
    file(WRITE ${CMAKE_BINARY_DIR}/CMakeFiles/${_wrapperName} "#!/bin/sh\n"
        "# Runs a program built for ${NORVO_CROSS_TRIPLET} under ${NORVO_CROSS_EMULATOR}.\n"
        "exec '${NORVO_CROSS_EMULATOR_PATH}' ${_emulatorPrefix}-E 'LD_PRELOAD=${_preload}' \"$@\"\n")
    file(COPY ${CMAKE_BINARY_DIR}/CMakeFiles/${_wrapperName} DESTINATION ${CMAKE_BINARY_DIR}
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(_wrapper ${CMAKE_BINARY_DIR}/${_wrapperName})
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_wrapper})
endif()

# nm, readelf, objdump and strip are found by CMake from the compiler's
# prefix (arm-linux-gnueabihf-nm, ...). Without NORVO_SYSROOT, libraries and
# headers come from the target's multiarch directories in the ordinary /usr
# tree.
