# SPDX-License-Identifier: LGPL-2.1-or-later
# The library's ABI baseline: what libabigail's abidw reads from the
# built libLibNorvo.so.1 of this release, one file per Debian architecture
# in tests/abi/baseline/. The abi_baseline test (tests/abi) compares each
# build against the file of its architecture; a release refreshes them on
# purpose (README, "The ABI"):
#
#   cmake --build <build> --target abi-baseline

# The Debian architecture of the build, from its multiarch triplet.
set(_debArchOfTriplet
    x86_64-linux-gnu amd64
    arm-linux-gnueabihf armhf
    aarch64-linux-gnu arm64)
set(NORVO_ABI_ARCH "")
list(FIND _debArchOfTriplet "${CMAKE_LIBRARY_ARCHITECTURE}" _at)
if(_at GREATER_EQUAL 0)
    math(EXPR _at "${_at} + 1")
    list(GET _debArchOfTriplet ${_at} NORVO_ABI_ARCH)
endif()
set(NORVO_ABI_BASELINE ${PROJECT_SOURCE_DIR}/tests/abi/baseline/libLibNorvo.so.1.${NORVO_ABI_ARCH}.abi)

find_program(NORVO_ABIDW abidw)
find_program(NORVO_ABIDIFF abidiff)

# Locations and build paths stay out of the file, and type ids are hashes,
# so that a refresh shows only what changed in the ABI.
set(NORVO_ABIDW_OPTIONS --no-show-locs --no-corpus-path --no-comp-dir-path --type-id-style hash)

if(NORVO_ABI_ARCH AND NORVO_ABIDW)
    add_custom_target(abi-baseline
        COMMAND ${NORVO_ABIDW} ${NORVO_ABIDW_OPTIONS} --out-file ${NORVO_ABI_BASELINE}
                $<TARGET_FILE:LibNorvo>
        COMMAND ${CMAKE_COMMAND} -E echo "wrote ${NORVO_ABI_BASELINE}"
        DEPENDS LibNorvo
        VERBATIM)
endif()
