#!/usr/bin/env bash
# Builds libnorvo in Release with the benchmarks and runs them: what one
# exchange, the value coding, a driver object and 16 stations cost a host,
# each figure beside its floor or target. Takes about 7 minutes.
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
# shellcheck source=scripts/packages.sh
source "$repo/scripts/packages.sh"
ensure_packages bench cmake make g++ binutils pkg-config qtbase5-dev libqt5serialport5-dev \
    libbenchmark-dev

echo "== building in $build (Release)"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORVO_BENCH=ON >/dev/null
cmake --build "$build" --target norvo-bench norvo-bench-codec -j"$(nproc)" >/dev/null

echo
echo "== the driver's own work (Google Benchmark; CPU is the calling thread's;"
echo "   per_value is the time per value, n = nanoseconds)"
"$build/bench/norvo-bench-codec" "${quick[@]}" --benchmark_min_time=0.2 2>/dev/null

echo
status=0
"$build/bench/norvo-bench" "${quick[@]}" || status=$?

# CPU time on a shared or virtual machine swings with its load; the count of
# instructions a read takes in user space does not. Two runs of different
# length under callgrind: their difference is the work of the extra reads.
if command -v valgrind >/dev/null; then
    short=50 long=250
    [[ ${#quick[@]} -gt 0 ]] && short=5 long=15
    instructions() { # link delay count
        valgrind --tool=callgrind --callgrind-out-file=/dev/null \
            "$build/bench/norvo-bench" --exchange-loop "$@" 2>&1 >/dev/null |
            sed -n 's/.*Collected : \([0-9]*\).*/\1/p' || true
    }
    echo
    echo "== Instructions: user-space work of one read of 16 registers (callgrind)"
    for link in tcp pty; do
        per=()
        for delay in 0 20; do
            a=$(instructions "$link" "$delay" "$short")
            b=$(instructions "$link" "$delay" "$long")
            if [[ -z $a || -z $b ]]; then
                echo "  $link, answer $delay ms late: not measured"
                status=1
                continue
            fi
            per+=($(( (b - a) / (long - short) )))
            echo "  $link, answer $delay ms late: ${per[-1]} instructions per exchange"
        done
        # Waiting that ran code (polling, spinning) would grow with the delay.
        if (( ${#per[@]} == 2 )); then
            diff=$(( per[1] - per[0] ))
            if (( diff * 100 <= per[0] && -diff * 100 <= per[0] )); then
                echo "  $link: the same work whether the answer is prompt or late (within 1%): no code runs while waiting"
            else
                echo "  $link: the late answer costs $diff more instructions per exchange"
            fi
        fi
    done
else
    echo "bench: valgrind not found; instruction counts skipped"
fi
exit $status
