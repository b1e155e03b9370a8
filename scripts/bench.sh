#!/usr/bin/env bash
# Builds libnorvo in Release with the benchmarks and runs them: what one
# exchange, the value coding, a driver object and 16 stations cost a host,
# each figure beside its floor or target. Takes about 6 minutes.
#
#   scripts/bench.sh            the full run
#   scripts/bench.sh --quick    a few exchanges per figure: checks that it all runs
#
# NORVO_BENCH_BUILD_DIR   build directory (default: <repo>/build-bench)
#
# The machine's load changes the figures: run it on a quiet machine, and
# read the load averages the report prints.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NORVO_BENCH_BUILD_DIR:-$repo/build-bench}

quick=()
case ${1:-} in
    --quick) quick=(--quick) ;;
    "") ;;
    *) echo "usage: scripts/bench.sh [--quick]" >&2; exit 2 ;;
esac

# Google Benchmark comes from Debian; the rest is what the build needs anyway.
packages=(cmake make g++ binutils pkg-config qtbase5-dev libqt5serialport5-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "bench: missing Debian packages: ${missing[*]}" >&2
        echo "bench: run as root, or install them with apt-get" >&2
        exit 1
    fi
    echo "bench: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

echo "== building in $build (Release)"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORVO_BENCH=ON >/dev/null
cmake --build "$build" --target norvo-bench norvo-bench-codec -j"$(nproc)" >/dev/null

echo
echo "== the driver's own work (Google Benchmark; CPU is the calling thread's;"
echo "   per_value is the time per value, n = nanoseconds)"
"$build/bench/norvo-bench-codec" "${quick[@]}" --benchmark_min_time=0.2 2>/dev/null

echo
"$build/bench/norvo-bench" "${quick[@]}"
