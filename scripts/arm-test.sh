#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Cross-builds libnorvo for ARM Linux and runs the whole test suite as ARM
# code under qemu user-mode emulation.
#
#   scripts/arm-test.sh [armhf|arm64] [ctest arguments...]
#
# First installs whatever is missing (Debian's cross compiler, the target's
# Qt 5 development packages, qemu-user), then configures build-<arch>/ with
# cmake/<triplet>.cmake, builds, and runs ctest there. Run again, it installs
# nothing and rebuilds only what changed.
#
# Environment: NORVO_BUILD_DIR  build folder (default: build-<arch> in the tree)
#              JOBS             build parallelism (default: all cores)
#              CTEST_PARALLEL_LEVEL  as for ctest (default: one test at a time)
#
# Exit status 75: the target's packages could not be installed because the
# mirror could not give its package index (scripts/packages.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/arm-target.sh
source "$root/scripts/arm-target.sh"
arm_target "${1:-}"
[ $# -gt 0 ] && shift
build=${NORVO_BUILD_DIR:-$root/build-$arch}

# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
# The foreign Qt's CMake files name the build machine's moc (qtbase5-dev-tools,
# pulled in by qtbase5-dev:<arch>); pkg-config serves the install test. The
# foreign libglib's postinst cannot run its own helpers here; its "Exec
# format error" lines are harmless. protoc runs on the build machine: the
# native protobuf-compiler, the foreign libprotobuf-dev.
ensure_architecture arm-test "$arch"
ensure_packages arm-test cmake pkg-config "crossbuild-essential-$arch" "${arm_target_packages[@]/%/:$arch}" \
    qemu-user protobuf-compiler abigail-tools groff-base

# qemu finds the multiarch loader and libraries at their usual places; a
# prefix would make it mix in the cross toolchain's libc and crash Qt programs.
unset QEMU_LD_PREFIX

arm_build_and_test arm-test "$build" -- "$@"
