#!/usr/bin/env bash
# Installs what the build needs on Debian 12 (when run as root) and builds
# libnorvo with its tools and tests.
#
#   scripts/setup.sh [extra Debian packages...]
#
# NORVO_BUILD_DIR      build directory (default: <repo>/build)
# NORVO_CMAKE_ARGS     extra arguments for the CMake configure step
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NORVO_BUILD_DIR:-$repo/build}

packages=(cmake make g++ binutils pkg-config qtbase5-dev libqt5serialport5-dev "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: missing Debian packages: ${missing[*]}" >&2
        echo "setup: run as root, or install them with apt-get" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # A fresh machine's package lists may be empty.
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# shellcheck disable=SC2086
cmake -S "$repo" -B "$build" ${NORVO_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
