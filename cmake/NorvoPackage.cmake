# Debian packages of the install components (see NorvoInstall.cmake):
#   cmake --build <build> --target package      (or: cd <build> && cpack -G DEB)
# A cross build makes packages for its target architecture.

set(NORVO_PACKAGE_CONTACT "libnorvo developers <libnorvo@localhost>"
    CACHE STRING "Maintainer field of the Debian packages")

# dpkg names the architecture differently from the GNU triplet; CPack
# would otherwise ask dpkg on the build machine and label ARM packages amd64.
set(_debArchOfTriplet
    x86_64-linux-gnu amd64
    arm-linux-gnueabihf armhf
    aarch64-linux-gnu arm64
    i386-linux-gnu i386)
list(FIND _debArchOfTriplet "${CMAKE_LIBRARY_ARCHITECTURE}" _at)
if(_at GREATER_EQUAL 0)
    math(EXPR _at "${_at} + 1")
    list(GET _debArchOfTriplet ${_at} CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
elseif(CMAKE_CROSSCOMPILING)
    message(WARNING "No Debian architecture known for '${CMAKE_LIBRARY_ARCHITECTURE}'; "
                    "packages would carry the build machine's")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libnorvo)
set(CPACK_PACKAGE_VENDOR "libnorvo")
set(CPACK_PACKAGE_CONTACT "${NORVO_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PLC communication driver plug-in for operator panels")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Debian names a library package after its soname: libLibNorvo.so.1.
set(CPACK_DEBIAN_LIB_PACKAGE_NAME liblibnorvo${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# A shlibs file for packages built against this one (CPack takes this
# setting only globally; the plug-in is the only shared object packaged).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liblibnorvo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The headers include Qt Core's; the CMake package finds Qt5Core.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qtbase5-dev")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME norvo-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

set(CPACK_COMPONENTS_ALL lib dev tools)

include(CPack)

cpack_add_component(lib
    DISPLAY_NAME "LibNorvo plug-in"
    DESCRIPTION "The PLC driver plug-in libLibNorvo.so.1 that the operator-panel runtime loads.")
cpack_add_component(dev
    DISPLAY_NAME "LibNorvo development files"
    DESCRIPTION "Headers, CMake package (find_package(LibNorvo)) and pkg-config file (libnorvo)."
    DEPENDS lib)
cpack_add_component(tools
    DISPLAY_NAME "LibNorvo tools"
    DESCRIPTION "norvo, a command-line host for the plug-in, norvo-sim, a PLC simulator, and a Wireshark dissector."
    DEPENDS lib)
