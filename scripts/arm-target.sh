#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# What the two ARM routes share, sourced by scripts/arm-test.sh (multiarch)
# and scripts/arm-sysroot.sh (a private sysroot): the targets, the target's
# development packages, and the build and test run.

# The target's development packages the build links against.
# shellcheck disable=SC2034 # used by the scripts that source this
arm_target_packages=(qtbase5-dev libqt5serialport5-dev libcpp-httplib-dev libpcap-dev libmosquitto-dev
    libprotobuf-dev)

# Sets arch (armhf by default, or arm64) and its GNU triplet; anything else
# is a usage error.
arm_target() {
    arch=${1:-armhf}
    case "$arch" in
        armhf) triplet=arm-linux-gnueabihf ;;
        arm64) triplet=aarch64-linux-gnu ;;
        *)
            echo "usage: $0 [armhf|arm64] [ctest arguments...]" >&2
            exit 2
            ;;
    esac
}

# arm_build_and_test TAG BUILD_DIR [cmake arguments...] -- [ctest arguments...]
# Configures with cmake/<triplet>.cmake, builds with $JOBS (default: all
# cores), runs ctest, reports both times, and exits with ctest's status.
arm_build_and_test() {
    local tag=$1 build=$2 root
    shift 2
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    local configure=()
    while [[ $# -gt 0 && $1 != -- ]]; do
        configure+=("$1")
        shift
    done
    [[ $# -gt 0 ]] && shift
    local start=$SECONDS built status=0
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$triplet.cmake" "${configure[@]}"
    cmake --build "$build" -j "${JOBS:-$(nproc)}"
    built=$SECONDS
    echo "$tag: $arch build took $((built - start)) s"
    ctest --test-dir "$build" --output-on-failure --timeout 600 "$@" || status=$?
    echo "$tag: $arch tests took $((SECONDS - built)) s"
    exit $status
}
