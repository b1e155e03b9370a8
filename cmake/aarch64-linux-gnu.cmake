# SPDX-License-Identifier: LGPL-2.1-or-later
# Cross-build for 64-bit ARM Linux with Debian's cross toolchain and the
# arm64 multiarch Qt packages:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Tests run as ARM code through qemu-aarch64, without -L or QEMU_LD_PREFIX
# (the multiarch loader and libraries are found at their usual places).
set(NORVO_CROSS_TRIPLET aarch64-linux-gnu)
set(NORVO_CROSS_PROCESSOR aarch64)
set(NORVO_CROSS_EMULATOR qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/NorvoCross.cmake)
