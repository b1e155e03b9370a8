# SPDX-License-Identifier: LGPL-2.1-or-later
# A Debian package of the target's found through pkg-config, as the
# imported target PkgConfig::<PREFIX>. A cross build takes the target's
# package (say libpcap-dev:armhf): the build machine's pkg-config is pointed
# at the target's multiarch folder (in its sysroot, if there is one) for
# this one look-up.
find_package(PkgConfig REQUIRED)

function(norvo_target_package prefix module)
    if(CMAKE_CROSSCOMPILING)
        set(saved "$ENV{PKG_CONFIG_LIBDIR}")
        set(ENV{PKG_CONFIG_LIBDIR}
            "${CMAKE_SYSROOT}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig")
    endif()
    pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${module})
    if(CMAKE_CROSSCOMPILING)
        set(ENV{PKG_CONFIG_LIBDIR} "${saved}")
    endif()
endfunction()
