#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds libnorvo in Release with the benchmarks and runs them: what one
# exchange, the value coding, a driver object and 16 stations cost a host,
# each figure beside its floor or target (norvo-bench computes and prints
# them all). Takes about 7 minutes.
#
#   scripts/bench.sh            the full run
#   scripts/bench.sh --quick    a few exchanges per figure: checks that it all runs
#   scripts/bench.sh --edge     norvo-edge instead: 10, 50 and 100 links and a
#                               broker restart (bench/edge_scale.py, about 5 minutes;
#                               with --quick 2 links for 5 s)
#
# NORVO_BENCH_BUILD_DIR   build directory (default: <repo>/build-bench)
# NORVO_BENCH_BUILD_TYPE  its CMake build type (default: Release); CI gives
#                         its tested tree and that tree's type, so that a
#                         quick pass compiles only the bench's own sources
#
# The machine's load changes the figures: run it on a quiet machine, and
# read the load averages the report prints.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NORVO_BENCH_BUILD_DIR:-$repo/build-bench}
build_type=${NORVO_BENCH_BUILD_TYPE:-Release}

quick=() codec_time=0.2 edge=
for argument in "$@"; do
    case $argument in
        --quick) quick=(--quick) codec_time=0.001 ;;
        --edge) edge=1 ;;
        *) echo "usage: scripts/bench.sh [--quick] [--edge]" >&2; exit 2 ;;
    esac
done

# Google Benchmark comes from Debian; the rest is what the build needs anyway.
# valgrind is optional: without it norvo-bench skips the instruction counts.
# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"
ensure_packages bench cmake make g++ binutils pkg-config qtbase5-dev libqt5serialport5-dev libmosquitto-dev \
    libprotobuf-dev protobuf-compiler libbenchmark-dev libcpp-httplib-dev libpcap-dev
[[ -z $edge ]] || ensure_packages bench-edge mosquitto python3-paho-mqtt

echo "== building in $build ($build_type)"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE="$build_type" -DNORVO_BENCH=ON >/dev/null
if [[ -n $edge ]]; then
    cmake --build "$build" --target norvo-edge norvo-sim -j"$(nproc)" >/dev/null
    # Debian's python3 is the one with Debian's paho-mqtt.
    exec /usr/bin/python3 "$repo/bench/edge_scale.py" "$build/tools/edge/norvo-edge" "$build/tools/sim/norvo-sim" "${quick[@]}"
fi
cmake --build "$build" --target norvo-bench norvo-bench-codec -j"$(nproc)" >/dev/null

echo
echo "== the driver's own work (Google Benchmark; CPU is the calling thread's;"
echo "   per_value is the time per value, n = nanoseconds)"
"$build/bench/norvo-bench-codec" --benchmark_min_time=$codec_time 2>/dev/null

echo
exec "$build/bench/norvo-bench" "${quick[@]}"
