#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time on its committed seed corpus.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
#
# Targets: answers labels connection records owed edgetags edgewrites
# sparkplugcommands edgestore (default: all). New inputs
# that add coverage go to build-fuzz/corpus/<target>/, never into the
# committed corpus; a finding leaves its crash-* file in build-fuzz/findings/
# and makes the script fail.
#
# NORVO_FUZZ_BUILD_DIR   build directory (default: <repo>/build-fuzz)
# NORVO_FUZZ_JOBS        targets run side by side (default: 1)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NORVO_FUZZ_BUILD_DIR:-$repo/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(answers labels connection records owed edgetags edgewrites sparkplugcommands edgestore)
jobs=${NORVO_FUZZ_JOBS:-1}

# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"
ensure_packages fuzz clang libclang-rt-14-dev cmake make pkg-config qtbase5-dev libqt5serialport5-dev \
    libcpp-httplib-dev libpcap-dev libmosquitto-dev \
    libprotobuf-dev protobuf-compiler

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -DNORVO_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)"

mkdir -p "$build/findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

run() {
    local target=$1 work=$build/corpus/$1 log=$build/fuzz_$1.log
    mkdir -p "$work"
    echo "fuzz: $target for ${seconds}s"
    # Writes new inputs to the work corpus only; the seeds stay as committed.
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/findings/${target}-" \
        "$work" "$repo/fuzz/corpus/$target" >"$log" 2>&1; then
        echo "fuzz: $target: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs, no finding"
    else
        echo "fuzz: $target: FINDING, see $log and $build/findings/" >&2
        tail -n 40 "$log" >&2
        return 1
    fi
}

status=0
pids=()
for target in "${targets[@]}"; do
    run "$target" &
    pids+=($!)
    if ((${#pids[@]} >= jobs)); then
        wait "${pids[0]}" || status=1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid" || status=1
done
exit $status
