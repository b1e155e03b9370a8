# SPDX-License-Identifier: LGPL-2.1-or-later
# Install rules, the CMake package and the pkg-config file.
#
# Three components; debian/*.install put them into one Debian package each:
#   lib    the plug-in with its soname link               -> liblibnorvo1
#   dev    headers, .so link, CMake package, pkg-config   -> liblibnorvo-dev
#   tools  norvo and norvo-sim with their man pages       -> norvo-tools
#   edge   norvo-edge, its man page, the example config   -> norvo-edge
#
# An install to /usr gets multiarch paths (usr/lib/<triplet>); the CMake
# and pkg-config files are relocatable either way.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(NORVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/LibNorvo)
set(NORVO_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(NORVO_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/norvo)

# The headers the host compiles against. CDriveBaseClass.h holds EDebugCmdType.
set(NORVO_PUBLIC_HEADERS
    ${PROJECT_SOURCE_DIR}/driver/CDriveBaseClass.h
    ${PROJECT_SOURCE_DIR}/value/CLabelVariable.h
    ${PROJECT_SOURCE_DIR}/value/DataType.h
    ${PROJECT_SOURCE_DIR}/value/norvoglobal.h)

# The library target names its source folders as include directories; an
# installed consumer gets <prefix>/include instead and writes
# #include <norvo/CDriveBaseClass.h>.
get_target_property(_norvoIncludes LibNorvo INTERFACE_INCLUDE_DIRECTORIES)
set(_norvoBuildIncludes)
foreach(_dir IN LISTS _norvoIncludes)
    list(APPEND _norvoBuildIncludes "$<BUILD_INTERFACE:${_dir}>")
endforeach()
set_property(TARGET LibNorvo PROPERTY INTERFACE_INCLUDE_DIRECTORIES
    ${_norvoBuildIncludes} "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")

install(TARGETS LibNorvo EXPORT LibNorvoTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT lib
        NAMELINK_COMPONENT dev)
install(FILES ${NORVO_PUBLIC_HEADERS} DESTINATION ${NORVO_HEADER_DIR} COMPONENT dev)

# CMake package: find_package(LibNorvo) gives LibNorvo::LibNorvo.
install(EXPORT LibNorvoTargets
    NAMESPACE LibNorvo::
    DESTINATION ${NORVO_CMAKE_DIR}
    COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/LibNorvoConfig.cmake.in
    ${PROJECT_BINARY_DIR}/LibNorvoConfig.cmake
    INSTALL_DESTINATION ${NORVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LibNorvoConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/LibNorvoConfig.cmake
    ${PROJECT_BINARY_DIR}/LibNorvoConfigVersion.cmake
    DESTINATION ${NORVO_CMAKE_DIR}
    COMPONENT dev)

# pkg-config: the prefix is found from the file's own place, so the same
# file serves an installed prefix, a package and an unpacked package.
file(RELATIVE_PATH NORVO_PC_PREFIX_FROM_PCFILEDIR
    ${CMAKE_INSTALL_PREFIX}/${NORVO_PKGCONFIG_DIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" NORVO_PC_PREFIX_FROM_PCFILEDIR "${NORVO_PC_PREFIX_FROM_PCFILEDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/libnorvo.pc.in
    ${PROJECT_BINARY_DIR}/libnorvo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/libnorvo.pc
    DESTINATION ${NORVO_PKGCONFIG_DIR}
    COMPONENT dev)

# norvo dlopens libLibNorvo.so.1; its run path makes that the plug-in of its
# own prefix, also where the library folder is a multiarch one.
file(RELATIVE_PATH _libFromBin
    ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set_target_properties(norvo PROPERTIES INSTALL_RPATH "$ORIGIN/${_libFromBin}")
install(TARGETS norvo norvo-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/norvo.1 ${PROJECT_SOURCE_DIR}/docs/man/norvo-sim.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

# The Wireshark dissector goes to <libdir>/wireshark/plugins: under /usr
# (Debian: /usr/lib/<triplet>/...) where Wireshark and tshark load global Lua
# plug-ins. Under another prefix no Wireshark looks there, and the install
# says how to give it to Wireshark (NorvoWiresharkFolder.cmake); the build
# machine's Wireshark says nothing of a cross build's.
set(NORVO_WIRESHARK_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins)
install(FILES ${PROJECT_SOURCE_DIR}/tools/wireshark/norvo.lua
    DESTINATION ${NORVO_WIRESHARK_PLUGIN_DIR} COMPONENT tools)
if(NOT CMAKE_CROSSCOMPILING)
    install(CODE "set(NORVO_DISSECTOR_DIR \"${NORVO_WIRESHARK_PLUGIN_DIR}\")
        set(NORVO_MULTIARCH \"${CMAKE_LIBRARY_ARCHITECTURE}\")" COMPONENT tools)
    install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/NorvoWiresharkFolder.cmake COMPONENT tools)
endif()

# norvo-edge, once its target exists. The example configuration goes with
# the documentation: a system's /etc is the package's business (it ships
# the same file there as a conffile), and an install under another prefix
# must not write outside it.
if(TARGET norvo-edge)
    set_target_properties(norvo-edge PROPERTIES INSTALL_RPATH "$ORIGIN/${_libFromBin}")
    install(TARGETS norvo-edge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT edge)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/man/norvo-edge.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT edge)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/edge.conf
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/norvo-edge/examples COMPONENT edge)
endif()
