#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Refreshes the ABI baselines in tests/abi/baseline/: builds the library
# for each architecture (natively or cross) and writes what abidw reads from
# it. A release does this on purpose, and only after deciding what the
# difference means (README, "The ABI").
#
#   scripts/abi-baseline.sh [amd64] [armhf] [arm64]     (default: all three)
#
# The builds go to build-abi-<arch>/.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"

for arch in ${@:-amd64 armhf arm64}; do
    args=()
    case $arch in
    amd64) ensure_packages abi-baseline cmake g++ qtbase5-dev libqt5serialport5-dev libmosquitto-dev libprotobuf-dev protobuf-compiler abigail-tools ;;
    armhf | arm64)
        triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH)
        ensure_architecture abi-baseline "$arch"
        ensure_packages abi-baseline cmake abigail-tools "crossbuild-essential-$arch" \
            "qtbase5-dev:$arch" "libqt5serialport5-dev:$arch" "libcpp-httplib-dev:$arch" "libmosquitto-dev:$arch" \
            "libprotobuf-dev:$arch" protobuf-compiler
        args=(-DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$triplet.cmake")
        ;;
    *)
        echo "usage: $0 [amd64] [armhf] [arm64]" >&2
        exit 2
        ;;
    esac
    build=$repo/build-abi-$arch
    cmake -S "$repo" -B "$build" -DBUILD_TESTING=OFF "${args[@]}" >/dev/null
    cmake --build "$build" -j"${JOBS:-$(nproc)}" --target abi-baseline
done
git -C "$repo" status --short tests/abi/baseline
