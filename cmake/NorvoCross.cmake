# What both ARM toolchain files share. Expects NORVO_CROSS_TRIPLET,
# NORVO_CROSS_PROCESSOR and NORVO_CROSS_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${NORVO_CROSS_PROCESSOR})
# Makes find_package look in /usr/lib/<triplet>/cmake, i.e. pick the
# foreign Qt; its CMake files still name the build machine's moc and rcc.
set(CMAKE_LIBRARY_ARCHITECTURE ${NORVO_CROSS_TRIPLET})

set(CMAKE_C_COMPILER ${NORVO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${NORVO_CROSS_TRIPLET}-g++)

# binfmt is not relied on: ctest and the tests that start other programs
# go through the emulator explicitly.
find_program(NORVO_CROSS_EMULATOR_PATH ${NORVO_CROSS_EMULATOR})
if(NORVO_CROSS_EMULATOR_PATH)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NORVO_CROSS_EMULATOR_PATH})
endif()

# nm, readelf, objdump and strip are found by CMake from the compiler's
# prefix (arm-linux-gnueabihf-nm, ...). Libraries and headers come from the
# target's multiarch directories in the ordinary /usr tree: no sysroot.
