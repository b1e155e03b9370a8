# SPDX-License-Identifier: LGPL-2.1-or-later
# Cross-build for 32-bit ARM Linux (hard float) with Debian's cross
# toolchain and the armhf multiarch Qt packages:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
# Tests run as ARM code through qemu-arm. The multiarch libraries and loader
# sit at their usual places (/usr/lib/arm-linux-gnueabihf, /lib/ld-linux-armhf.so.3),
# so qemu needs no -L or QEMU_LD_PREFIX; pointing it at the cross
# toolchain's own loader mixes two libcs and Qt programs crash. With
# -DNORVO_SYSROOT=<dir> (scripts/arm-sysroot.sh) everything of the target's,
# loader included, comes from that sysroot.
set(NORVO_CROSS_TRIPLET arm-linux-gnueabihf)
set(NORVO_CROSS_PROCESSOR arm)
set(NORVO_CROSS_EMULATOR qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/NorvoCross.cmake)
