#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
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

# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"
# abigail-tools: the ABI test (abidiff); groff-base: the man page test;
# libmosquitto-dev: norvo-edge's MQTT client; mosquitto and python3-paho-mqtt:
# the broker and the subscriber of norvo-edge's tests; openssl: their TLS certificates;
# libprotobuf-dev and protobuf-compiler: norvo-edge's Sparkplug B payloads;
# python3-protobuf: the test that decodes them from the schema's side.
ensure_packages setup cmake make g++ binutils pkg-config qtbase5-dev libqt5serialport5-dev \
    libcpp-httplib-dev libjs-chart.js libpcap-dev libmosquitto-dev abigail-tools groff-base \
    libprotobuf-dev protobuf-compiler mosquitto python3-paho-mqtt python3-protobuf openssl "$@"

# shellcheck disable=SC2086
cmake -S "$repo" -B "$build" ${NORVO_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
